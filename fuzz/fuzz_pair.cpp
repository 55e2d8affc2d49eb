// Two fuzzed files compared with each other. The first two bytes give the
// length of the first file (little-endian, cut to what is there); the rest
// is the second file. Their sizes usually differ, so the resampler runs.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    size_t first = static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8;
    data += 2;
    size -= 2;
    if (first > size) first = size;
    if (!fuzz::small_enough(data, first) || !fuzz::small_enough(data + first, size - first)) return 0;
    const std::string a = fuzz::put("a", data, first);
    const std::string b = fuzz::put("b", data + first, size - first);
    const char *text = ranvique_stats(a.c_str(), b.c_str());
    fuzz::check_state(text == nullptr);
    float s = ranvique_similarity(b.c_str(), a.c_str());
    fuzz::check_state(s == -1.0f);
    return 0;
}
