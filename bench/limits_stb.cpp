#include "limits.h"

#include <cstdlib>
#include <png.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize2.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace limits {
unsigned char *decode(const char *path, int *w, int *h)
{
    int n;
    return stbi_load(path, w, h, &n, 4);
}
void release(unsigned char *pixels) { stbi_image_free(pixels); }
int resize(const unsigned char *in, int w, int h, unsigned char *out, int ow, int oh)
{
    return stbir_resize_uint8_srgb(in, w, h, 0, out, ow, oh, 0, STBIR_RGBA) != nullptr;
}
int write_png_stb(const char *path, int w, int h, const unsigned char *rgba)
{
    return stbi_write_png(path, w, h, 4, rgba, w * 4);
}
int write_jpg(const char *path, int w, int h, const unsigned char *rgba, int quality)
{
    return stbi_write_jpg(path, w, h, 4, rgba, quality);
}
int decode_libpng(const char *path, std::string &rgba, int *w, int *h)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return 0;
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return 0;
    *w = static_cast<int>(image.width);
    *h = static_cast<int>(image.height);
    return 1;
}
}  // namespace limits
