// Test images made in code: an RGBA raster type, encoders for the nine formats
// the library reads, and a decoder for reading back what the library writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fx {

struct rgba {
    uint8_t r, g, b, a;
};

struct image {
    int w = 0, h = 0;
    std::vector<uint8_t> px;  // RGBA, rows top to bottom
    image() = default;
    image(int width, int height, rgba fill = {0, 0, 0, 255});
    rgba at(int x, int y) const;
    void set(int x, int y, rgba c);
};

using bytes = std::string;

// Encoders. PNG/BMP/TGA/JPEG of 8-bit RGBA go through stb_image_write on the
// test side; the rest are written by hand, byte by byte.
bytes png(const image &img);                  // 8-bit RGBA
bytes bmp(const image &img);                  // 32-bit with alpha (stb writer)
bytes bmp24(const image &img);                // 24-bit, no alpha
bytes tga(const image &img);
bytes jpg(const image &img, int quality = 95);

// PNG with raw scanline data (each row without its filter byte).
bytes png_raw(int w, int h, int bit_depth, int color_type, const std::vector<uint8_t> &rows,
              const std::vector<rgba> &palette = {}, bool palette_alpha = false);
bytes pnm(int w, int h, int channels, int maxval, const std::vector<uint8_t> &samples);  // P5/P6
bytes psd(int w, int h, int channels, int depth, const std::vector<uint8_t> &planar);    // raw, big-endian
bytes gif(int w, int h, const std::vector<rgba> &palette,
          const std::vector<std::vector<uint8_t>> &frames);                              // index frames
bytes hdr(int w, int h, const std::vector<uint8_t> &rgbe);                               // flat RGBE
bytes pic(const image &img, bool alpha);

// Reference pictures with known perceptual hashes: 2 x 2 black, red / green,
// blue; 64 x 64 black and white halves, split left-right or top-bottom.
image four_colours();
image halves(bool left_right);

// Files
std::string temp_dir();  // one fresh folder per test process, removed at exit
std::string path(const std::string &name);  // inside temp_dir()
std::string write(const std::string &name, const bytes &data);  // returns the path
bytes read(const std::string &path);

// Reads back an image file with a decoder of the test's own (4 channels).
bool decode(const std::string &path, image &out);
int count_red(const image &img);  // pixels reading exactly 255, 0, 0, 255

}  // namespace fx
