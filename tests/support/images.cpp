#include "images.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace fx {

image::image(int width, int height, rgba fill) : w(width), h(height), px(static_cast<size_t>(width) * height * 4)
{
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) set(x, y, fill);
}

rgba image::at(int x, int y) const
{
    const uint8_t *p = &px[(static_cast<size_t>(y) * w + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void image::set(int x, int y, rgba c)
{
    uint8_t *p = &px[(static_cast<size_t>(y) * w + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}

static void append_to(void *ctx, void *data, int size)
{
    static_cast<bytes *>(ctx)->append(static_cast<const char *>(data), static_cast<size_t>(size));
}

bytes png(const image &img)
{
    bytes out;
    stbi_write_png_to_func(append_to, &out, img.w, img.h, 4, img.px.data(), img.w * 4);
    return out;
}

bytes bmp(const image &img)
{
    bytes out;
    stbi_write_bmp_to_func(append_to, &out, img.w, img.h, 4, img.px.data());
    return out;
}

bytes bmp24(const image &img)
{
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < img.px.size(); i += 4) rgb.insert(rgb.end(), &img.px[i], &img.px[i] + 3);
    bytes out;
    stbi_write_bmp_to_func(append_to, &out, img.w, img.h, 3, rgb.data());
    return out;
}

bytes tga(const image &img)
{
    bytes out;
    stbi_write_tga_to_func(append_to, &out, img.w, img.h, 4, img.px.data());
    return out;
}

bytes jpg(const image &img, int quality)
{
    bytes out;
    stbi_write_jpg_to_func(append_to, &out, img.w, img.h, 4, img.px.data(), quality);
    return out;
}

// ---- PNG by hand: stored (uncompressed) deflate blocks ----

static uint32_t crc32_of(const uint8_t *data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

static void put32be(bytes &b, uint32_t v)
{
    b.push_back(static_cast<char>(v >> 24));
    b.push_back(static_cast<char>(v >> 16));
    b.push_back(static_cast<char>(v >> 8));
    b.push_back(static_cast<char>(v));
}

static void put16be(bytes &b, uint32_t v)
{
    b.push_back(static_cast<char>(v >> 8));
    b.push_back(static_cast<char>(v));
}

static void put16le(bytes &b, uint32_t v)
{
    b.push_back(static_cast<char>(v));
    b.push_back(static_cast<char>(v >> 8));
}

static void chunk(bytes &out, const char *type, const bytes &data)
{
    put32be(out, static_cast<uint32_t>(data.size()));
    bytes body = std::string(type, 4) + data;
    out += body;
    put32be(out, crc32_of(reinterpret_cast<const uint8_t *>(body.data()), body.size()));
}

static bytes zlib_stored(const bytes &raw)
{
    bytes z = "\x78\x01";
    size_t pos = 0;
    do {
        size_t len = std::min<size_t>(raw.size() - pos, 65535);
        bool last = pos + len == raw.size();
        z.push_back(last ? 1 : 0);
        put16le(z, static_cast<uint32_t>(len));
        put16le(z, static_cast<uint32_t>(~len & 0xFFFF));
        z.append(raw, pos, len);
        pos += len;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32be(z, (b << 16) | a);
    return z;
}

bytes png_raw(int w, int h, int bit_depth, int color_type, const std::vector<uint8_t> &rows,
              const std::vector<rgba> &palette, bool palette_alpha)
{
    static const int channels_of[] = {1, 0, 3, 1, 2, 0, 4};
    size_t row_bytes = (static_cast<size_t>(w) * channels_of[color_type] * bit_depth + 7) / 8;
    if (rows.size() != row_bytes * h) throw std::runtime_error("png_raw: wrong data size");
    bytes out = "\x89PNG\r\n\x1a\n";
    bytes ihdr;
    put32be(ihdr, w);
    put32be(ihdr, h);
    ihdr.push_back(static_cast<char>(bit_depth));
    ihdr.push_back(static_cast<char>(color_type));
    ihdr.append(3, '\0');
    chunk(out, "IHDR", ihdr);
    if (!palette.empty()) {
        bytes plte, trns;
        for (const rgba &c : palette) {
            plte.push_back(static_cast<char>(c.r));
            plte.push_back(static_cast<char>(c.g));
            plte.push_back(static_cast<char>(c.b));
            trns.push_back(static_cast<char>(c.a));
        }
        chunk(out, "PLTE", plte);
        if (palette_alpha) chunk(out, "tRNS", trns);
    }
    bytes raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back('\0');
        raw.append(reinterpret_cast<const char *>(&rows[y * row_bytes]), row_bytes);
    }
    chunk(out, "IDAT", zlib_stored(raw));
    chunk(out, "IEND", "");
    return out;
}

bytes pnm(int w, int h, int channels, int maxval, const std::vector<uint8_t> &samples)
{
    std::ostringstream head;
    head << (channels == 1 ? "P5" : "P6") << "\n" << w << " " << h << "\n" << maxval << "\n";
    return head.str() + bytes(samples.begin(), samples.end());
}

bytes psd(int w, int h, int channels, int depth, const std::vector<uint8_t> &planar)
{
    bytes out = "8BPS";
    put16be(out, 1);
    out.append(6, '\0');
    put16be(out, channels);
    put32be(out, h);
    put32be(out, w);
    put16be(out, depth);
    put16be(out, 3);  // RGB colour mode
    put32be(out, 0);  // colour mode data
    put32be(out, 0);  // image resources
    put32be(out, 0);  // layer and mask information
    put16be(out, 0);  // raw image data
    out.append(planar.begin(), planar.end());
    return out;
}

// LZW stream that never grows its code table: a clear code before every
// pixel keeps every code at 3 bits (minimum code size 2, palette of 4).
bytes gif(int w, int h, const std::vector<rgba> &palette, const std::vector<std::vector<uint8_t>> &frames)
{
    bytes out = "GIF89a";
    put16le(out, w);
    put16le(out, h);
    out.push_back(static_cast<char>(0xF1));  // global table of 4 entries
    out.push_back('\0');
    out.push_back('\0');
    for (int i = 0; i < 4; ++i) {
        rgba c = i < static_cast<int>(palette.size()) ? palette[i] : rgba{0, 0, 0, 255};
        out.push_back(static_cast<char>(c.r));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.b));
    }
    for (const auto &frame : frames) {
        out.push_back(',');
        put16le(out, 0);
        put16le(out, 0);
        put16le(out, w);
        put16le(out, h);
        out.push_back('\0');
        out.push_back('\x02');
        bytes data;
        uint32_t acc = 0;
        int nbits = 0;
        auto emit = [&](uint32_t code) {
            acc |= code << nbits;
            nbits += 3;
            while (nbits >= 8) {
                data.push_back(static_cast<char>(acc & 0xFF));
                acc >>= 8;
                nbits -= 8;
            }
        };
        for (uint8_t index : frame) {
            emit(4);
            emit(index);
        }
        emit(5);
        if (nbits) data.push_back(static_cast<char>(acc & 0xFF));
        for (size_t pos = 0; pos < data.size(); pos += 255) {
            size_t len = std::min<size_t>(255, data.size() - pos);
            out.push_back(static_cast<char>(len));
            out.append(data, pos, len);
        }
        out.push_back('\0');
    }
    out.push_back(';');
    return out;
}

bytes hdr(int w, int h, const std::vector<uint8_t> &rgbe)
{
    std::ostringstream head;
    head << "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " << h << " +X " << w << "\n";
    return head.str() + bytes(rgbe.begin(), rgbe.end());
}

bytes pic(const image &img, bool alpha)
{
    bytes out = "\x53\x80\xF6\x34";
    out.append(84, '\0');
    out += "PICT";
    put16be(out, img.w);
    put16be(out, img.h);
    out.append(8, '\0');  // ratio, fields, pad
    out.push_back('\0');  // not chained
    out.push_back('\x08');
    out.push_back('\0');  // uncompressed
    out.push_back(static_cast<char>(alpha ? 0xF0 : 0xE0));
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            rgba c = img.at(x, y);
            out.push_back(static_cast<char>(c.r));
            out.push_back(static_cast<char>(c.g));
            out.push_back(static_cast<char>(c.b));
            if (alpha) out.push_back(static_cast<char>(c.a));
        }
    return out;
}

image four_colours()
{
    image img(2, 2);
    img.set(1, 0, {255, 0, 0, 255});
    img.set(0, 1, {0, 255, 0, 255});
    img.set(1, 1, {0, 0, 255, 255});
    return img;
}

image halves(bool left_right)
{
    image img(64, 64, {0, 0, 0, 255});
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if ((left_right ? x : y) >= 32) img.set(x, y, {255, 255, 255, 255});
    return img;
}

// ---- files ----

static std::string g_temp_dir;

static void remove_temp_dir()
{
    std::error_code ec;
    if (!g_temp_dir.empty()) std::filesystem::remove_all(g_temp_dir, ec);
}

std::string temp_dir()
{
    if (g_temp_dir.empty()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "ranvique-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        g_temp_dir = tmpl;
        std::atexit(remove_temp_dir);
    }
    return g_temp_dir;
}

std::string path(const std::string &name) { return temp_dir() + "/" + name; }

std::string write(const std::string &name, const bytes &data)
{
    std::string p = path(name);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + p);
    return p;
}

bytes read(const std::string &p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool decode(const std::string &p, image &out)
{
    int w, h, n;
    unsigned char *data = stbi_load(p.c_str(), &w, &h, &n, 4);
    if (!data) return false;
    out.w = w;
    out.h = h;
    out.px.assign(data, data + static_cast<size_t>(w) * h * 4);
    stbi_image_free(data);
    return true;
}

int count_red(const image &img)
{
    int count = 0;
    for (size_t i = 0; i < img.px.size(); i += 4)
        if (img.px[i] == 255 && img.px[i + 1] == 0 && img.px[i + 2] == 0 && img.px[i + 3] == 255) ++count;
    return count;
}

}  // namespace fx
