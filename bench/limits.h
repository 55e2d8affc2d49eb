// The dependencies' own work, compiled with the same settings as the library:
// the limits that each export is measured against.
#pragma once
#include <cstddef>
#include <string>

namespace limits {
unsigned char *decode(const char *path, int *w, int *h);  // stbi_load, 4 channels; release with release()
void release(unsigned char *pixels);
int resize(const unsigned char *in, int w, int h, unsigned char *out, int ow, int oh);  // stbir_resize_uint8_srgb
int write_png_stb(const char *path, int w, int h, const unsigned char *rgba);         // stb's own compressor
int write_png_libdeflate(const char *path, int w, int h, const unsigned char *rgba);  // libdeflate in its slot
int write_jpg(const char *path, int w, int h, const unsigned char *rgba, int quality);
int decode_libpng(const char *path, std::string &rgba, int *w, int *h);  // an independent PNG decoder
}  // namespace limits

namespace passes {  // the library's own passes (pass_internal.cpp)
void compare(const unsigned char *p, const unsigned char *q, unsigned long n, unsigned long *different, double *sum);
void compare_reference(const unsigned char *p, const unsigned char *q, unsigned long n, unsigned long *different,
                       double *sum);
void render(unsigned char *p, const unsigned char *q, unsigned long n);
}  // namespace passes
