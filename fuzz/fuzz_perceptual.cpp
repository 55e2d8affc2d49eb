// The perceptual hash of a fuzzed file, compared with itself and with the
// fixed reference: a file that hashes must score exactly 100 against itself.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!fuzz::small_enough(data, size)) return 0;
    const std::string a = fuzz::put("a", data, size);
    ranvique_init();
    float self = ranvique_perceptual(a.c_str(), a.c_str());
    fuzz::check_state(self == -1.0f);
    if (self != -1.0f && self != 100.0f) abort();
    float s = ranvique_perceptual(a.c_str(), fuzz::reference().c_str());
    if ((s == -1.0f) != (self == -1.0f)) abort();
    if (s != -1.0f && !(s >= 0.0f && s <= 100.0f)) abort();
    return 0;
}
