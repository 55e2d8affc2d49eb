// The library's own pixel passes, compiled from its source into the
// benchmark, so they can be timed alone on decoded buffers; beside them the
// straightforward pass they replace.
// stb_image_resize2 keeps two tables with external linkage: renamed here so
// that they do not clash with the copy in limits_stb.cpp.
#define stbir__s32_32768 stbir__s32_32768_pass
#define stbir__s16_32768 stbir__s16_32768_pass
#include "../src/ranvique.cpp"

#include "limits.h"

namespace passes {
void compare(const unsigned char *p, const unsigned char *q, uint64_t n, uint64_t *different, double *sum)
{
    compare_pixels(p, q, n, different, sum);
}

void render(unsigned char *p, const unsigned char *q, uint64_t n) { render_difference(p, q, n); }

void compare_reference(const unsigned char *p, const unsigned char *q, uint64_t n, uint64_t *different, double *sum)
{
    uint64_t count = 0;
    double total = 0.0;
    for (uint64_t i = 0; i < n; ++i) {
        const unsigned char *a = p + i * 4;
        const unsigned char *b = q + i * 4;
        int dr = channel_diff(a[0], b[0]), dg = channel_diff(a[1], b[1]);
        int db = channel_diff(a[2], b[2]), da = channel_diff(a[3], b[3]);
        int m = dr > dg ? dr : dg;
        m = m > db ? m : db;
        m = m > da ? m : da;
        if (m > 2) ++count;
        total += static_cast<double>(dr + dg + db + da) / 1020.0;
    }
    *different = count;
    *sum = total;
}
}  // namespace passes
