// The difference image of a fuzzed primary and the fixed reference as the
// secondary (resampled onto the fuzzed canvas). The first byte picks the
// output format: PNG, BMP or JPEG.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    static const char *const outputs[] = {"/out.png", "/out.bmp", "/out.jpg"};
    const std::string out = fuzz::work_dir() + outputs[data[0] % 3];
    data += 1;
    size -= 1;
    if (!fuzz::small_enough(data, size)) return 0;
    const std::string a = fuzz::put("a", data, size);
    int ok = ranvique_diff(a.c_str(), fuzz::reference().c_str(), out.c_str());
    fuzz::check_state(ok == 0);
    if (ok != 0 && ok != 1) abort();
    return 0;
}
