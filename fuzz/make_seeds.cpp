// Writes the seed corpora of the fuzz targets: small files of every format
// the library reads, made here from code. usage: make_seeds OUTPUT_DIR
// Gives OUTPUT_DIR/{similarity,perceptual,diff,pair}/seed-*.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "images.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

using fx::image;

static image gradient(int w, int h)
{
    image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y, {static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1)), static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1)),
                           static_cast<uint8_t>((x * 31 + y * 17) & 0xFF), static_cast<uint8_t>(x % 3 ? 255 : 128)});
    return img;
}

static void append_to(void *ctx, void *data, int size)
{
    static_cast<fx::bytes *>(ctx)->append(static_cast<const char *>(data), static_cast<size_t>(size));
}

static fx::bytes hdr_rle(const image &img)
{
    std::vector<float> rgb;
    for (size_t i = 0; i < img.px.size(); i += 4)
        for (int c = 0; c < 3; ++c) rgb.push_back(img.px[i + c] / 64.0f);
    fx::bytes out;
    stbi_write_hdr_to_func(append_to, &out, img.w, img.h, 3, rgb.data());
    return out;
}

static fx::bytes png_compressed(const image &img, int comp)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < img.px.size(); i += 4) data.insert(data.end(), &img.px[i], &img.px[i] + comp);
    fx::bytes out;
    stbi_write_png_to_func(append_to, &out, img.w, img.h, comp, data.data(), img.w * comp);
    return out;
}

static std::vector<std::pair<std::string, fx::bytes>> seeds()
{
    image small = gradient(9, 7);
    image block = gradient(16, 16);
    std::vector<uint8_t> grey, rgb8, rgb16, planar3, planar16;
    for (int i = 0; i < 9 * 7; ++i) grey.push_back(static_cast<uint8_t>(i * 4));
    for (size_t i = 0; i < small.px.size(); i += 4)
        for (int c = 0; c < 3; ++c) {
            rgb8.push_back(small.px[i + c]);
            rgb16.push_back(small.px[i + c]);
            rgb16.push_back(static_cast<uint8_t>(i + c));
        }
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < small.px.size(); i += 4) planar3.push_back(small.px[i + c]);
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < small.px.size(); i += 4) {
            planar16.push_back(small.px[i + c]);
            planar16.push_back(0x5A);
        }
    std::vector<uint8_t> rgbe;
    for (int i = 0; i < 4 * 3; ++i) rgbe.push_back(static_cast<uint8_t>(i * 20 + 1));
    return {
        {"png-rgba", fx::png(small)},
        {"png-rgb-filtered", png_compressed(block, 3)},
        {"png-grey-stored", fx::png_raw(9, 7, 8, 0, grey)},
        {"png-palette-trns", fx::png_raw(3, 1, 8, 3, {2, 0, 1}, {{1, 2, 3, 255}, {40, 50, 60, 7}, {255, 0, 255, 128}}, true)},
        {"png-16bit-rgba", fx::png_raw(1, 1, 16, 6, {0x12, 0x34, 0xAB, 0xCD, 0x01, 0xFF, 0xFE, 0x01})},
        {"png-1bit-grey", fx::png_raw(9, 2, 1, 0, {0xA5, 0x80, 0x5A, 0x00})},
        {"bmp-32bit", fx::bmp(small)},
        {"bmp-24bit", fx::bmp24(small)},
        {"tga-rle", fx::tga(small)},
        {"jpeg-q95", fx::jpg(block, 95)},
        {"jpeg-q50-odd-size", fx::jpg(small, 50)},
        {"psd-rgb8", fx::psd(9, 7, 3, 8, planar3)},
        {"psd-rgb16", fx::psd(9, 7, 3, 16, planar16)},
        {"gif-one-frame", fx::gif(2, 2, {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {1, 2, 3, 255}}, {{0, 1, 2, 3}})},
        {"gif-two-frames", fx::gif(2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}, {9, 9, 9, 255}}, {{1, 0}, {2, 2}})},
        {"hdr-flat", fx::hdr(4, 1, rgbe)},
        {"hdr-rle", hdr_rle(block)},
        {"pic-rgb", fx::pic(small, false)},
        {"pic-rgba", fx::pic(small, true)},
        {"pgm-8bit", fx::pnm(9, 7, 1, 255, grey)},
        {"ppm-8bit", fx::pnm(9, 7, 3, 255, rgb8)},
        {"ppm-16bit", fx::pnm(9, 7, 3, 65535, rgb16)},
    };
}

static void put(const std::filesystem::path &file, const fx::bytes &data)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    auto all = seeds();
    for (size_t i = 0; i < all.size(); ++i) {
        const auto &[name, data] = all[i];
        put(root / "similarity" / ("seed-" + name), data);
        put(root / "perceptual" / ("seed-" + name), data);
        put(root / "diff" / ("seed-" + name), std::string(1, static_cast<char>(i % 3)) + data);
        // Pairs: each file with the next one, so sizes and formats differ.
        const fx::bytes &next = all[(i + 1) % all.size()].second;
        std::string len;
        len.push_back(static_cast<char>(data.size() & 0xFF));
        len.push_back(static_cast<char>(data.size() >> 8));
        put(root / "pair" / ("seed-" + name), len + data + next);
    }
    std::printf("%zu seeds per target in %s\n", all.size(), argv[1]);
    return 0;
}
