// A fuzzed file against the fixed reference, both ways round, through the
// similarity and statistics exports (the resampler runs whenever the sizes
// differ, which is nearly always).
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!fuzz::small_enough(data, size)) return 0;
    const std::string a = fuzz::put("a", data, size);
    const std::string &ref = fuzz::reference();
    float s = ranvique_similarity(a.c_str(), ref.c_str());
    fuzz::check_state(s == -1.0f);
    if (s != -1.0f && !(s >= 0.0f && s <= 100.0f)) abort();
    const char *text = ranvique_stats(ref.c_str(), a.c_str());
    fuzz::check_state(text == nullptr);
    if (text && memchr(text, '\0', 1024) == nullptr) abort();
    return 0;
}
