// stb_image_write with libdeflate in its zlib slot, as the library builds it.
#include "limits.h"

#include <cstdlib>
#include <libdeflate.h>

static unsigned char *deflate_zlib(unsigned char *data, int data_len, int *out_len, int level)
{
    // RANVIQUE_BENCH_DEFLATE_LEVEL overrides the writer's level, to compare levels.
    if (const char *e = getenv("RANVIQUE_BENCH_DEFLATE_LEVEL")) level = 2 * atoi(e);
    // The writer's level 8 becomes libdeflate's 4: on difference images that is
    // several times faster than stb's own compressor at 8 and still smaller;
    // libdeflate's higher levels are slower than stb's on flat grey areas.
    level /= 2;
    if (level < 1) level = 1;
    if (level > 12) level = 12;
    libdeflate_compressor *c = libdeflate_alloc_compressor(level);
    if (!c) return nullptr;
    size_t bound = libdeflate_zlib_compress_bound(c, static_cast<size_t>(data_len));
    unsigned char *out = static_cast<unsigned char *>(malloc(bound));
    size_t size = out ? libdeflate_zlib_compress(c, data, static_cast<size_t>(data_len), out, bound) : 0;
    libdeflate_free_compressor(c);
    if (!size) {
        free(out);
        return nullptr;
    }
    *out_len = static_cast<int>(size);
    return out;
}
#define STBIW_ZLIB_COMPRESS deflate_zlib
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace limits {
int write_png_libdeflate(const char *path, int w, int h, const unsigned char *rgba)
{
    return stbi_write_png(path, w, h, 4, rgba, w * 4);
}
}  // namespace limits
