// Loading: every format the decoder reads, the conversions to 8-bit RGBA,
// and the message of every kind of load failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#include <cstring>
#include <functional>
#include <string>

#include "host.h"
#include "images.h"

using fx::image;
using fx::rgba;
using host::error;
using host::lib;

namespace {

// True when `file` decodes to exactly the pixels of `expected`: the library
// finds it byte-identical to a PNG of the expected RGBA raster.
::testing::AssertionResult decodes_to(const std::string &file, const image &expected)
{
    static int serial = 0;
    std::string reference = fx::write("ref/" + std::to_string(serial++) + ".png", fx::png(expected));
    const char *text = lib().stats(file.c_str(), reference.c_str());
    if (!text) return ::testing::AssertionFailure() << "load failed: " << error();
    std::string want = "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":" +
                       std::to_string(static_cast<long long>(expected.w) * expected.h) + "}";
    if (want != text) return ::testing::AssertionFailure() << "stats against the expected pixels: " << text;
    return ::testing::AssertionSuccess();
}

image sample_rgba()
{
    image img(3, 2);
    img.set(0, 0, {255, 0, 0, 255});
    img.set(1, 0, {0, 255, 0, 128});
    img.set(2, 0, {0, 0, 255, 0});
    img.set(0, 1, {10, 20, 30, 40});
    img.set(1, 1, {200, 100, 50, 255});
    img.set(2, 1, {255, 255, 255, 255});
    return img;
}

image opaque(image img)
{
    for (size_t i = 3; i < img.px.size(); i += 4) img.px[i] = 255;
    return img;
}

image binary_alpha()
{
    image img = sample_rgba();
    img.set(1, 0, {0, 255, 0, 0});
    img.set(0, 1, {10, 20, 30, 255});
    return img;
}

std::vector<uint8_t> planar(const image &img, int channels)
{
    std::vector<uint8_t> out;
    for (int c = 0; c < channels; ++c)
        for (size_t i = 0; i < img.px.size(); i += 4) out.push_back(img.px[i + c]);
    return out;
}

std::vector<uint8_t> interleaved(const image &img, int channels)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < img.px.size(); i += 4)
        for (int c = 0; c < channels; ++c) out.push_back(img.px[i + c]);
    return out;
}

struct format_case {
    const char *name;
    std::function<fx::bytes()> make;
    std::function<image()> expected;
};

void PrintTo(const format_case &c, std::ostream *os) { *os << c.name; }

const format_case kFormats[] = {
    {"png_rgba", [] { return fx::png(sample_rgba()); }, sample_rgba},
    {"bmp_32bit_alpha", [] { return fx::bmp(sample_rgba()); }, sample_rgba},
    {"bmp_24bit", [] { return fx::bmp24(sample_rgba()); }, [] { return opaque(sample_rgba()); }},
    {"tga_rle", [] { return fx::tga(sample_rgba()); }, sample_rgba},
    {"psd_rgb", [] { return fx::psd(3, 2, 3, 8, planar(sample_rgba(), 3)); }, [] { return opaque(sample_rgba()); }},
    // Alpha 0 and 255 only: the decoder removes a white matte from partial alpha.
    {"psd_rgba", [] { return fx::psd(3, 2, 4, 8, planar(binary_alpha(), 4)); }, binary_alpha},
    {"pic_rgb", [] { return fx::pic(sample_rgba(), false); }, [] { return opaque(sample_rgba()); }},
    {"pic_rgba", [] { return fx::pic(sample_rgba(), true); }, sample_rgba},
    {"ppm", [] { return fx::pnm(3, 2, 3, 255, interleaved(sample_rgba(), 3)); }, [] { return opaque(sample_rgba()); }},
    {"pgm",
     [] { return fx::pnm(2, 1, 1, 255, {7, 250}); },
     [] {
         image img(2, 1);
         img.set(0, 0, {7, 7, 7, 255});
         img.set(1, 0, {250, 250, 250, 255});
         return img;
     }},
    {"gif_palette",
     [] { return fx::gif(2, 2, {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {1, 2, 3, 255}}, {{0, 1, 2, 3}}); },
     [] {
         image img(2, 2);
         img.set(1, 0, {255, 0, 0, 255});
         img.set(0, 1, {0, 255, 0, 255});
         img.set(1, 1, {1, 2, 3, 255});
         return img;
     }},
    {"gif_first_frame_of_two",
     [] {
         return fx::gif(2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}, {9, 9, 9, 255}, {0, 0, 0, 255}},
                        {{1, 0}, {2, 2}});
     },
     [] {
         image img(2, 1);
         img.set(0, 0, {255, 255, 255, 255});
         return img;
     }},
    // Radiance HDR: 1.0 maps to 255, 0 to 0, and 0.25 to 0.25^(1/2.2) * 255 rounded.
    {"hdr",
     [] { return fx::hdr(3, 1, {128, 128, 128, 129, 0, 0, 0, 0, 128, 128, 128, 127}); },
     [] {
         image img(3, 1);
         img.set(0, 0, {255, 255, 255, 255});
         img.set(1, 0, {0, 0, 0, 255});
         img.set(2, 0, {136, 136, 136, 255});
         return img;
     }},
    // Grey, grey with alpha and palette with alpha, each through PNG.
    {"png_grey",
     [] { return fx::png_raw(2, 1, 8, 0, {0, 77}); },
     [] {
         image img(2, 1);
         img.set(1, 0, {77, 77, 77, 255});
         return img;
     }},
    {"png_grey_alpha",
     [] { return fx::png_raw(2, 1, 8, 4, {77, 10, 200, 255}); },
     [] {
         image img(2, 1);
         img.set(0, 0, {77, 77, 77, 10});
         img.set(1, 0, {200, 200, 200, 255});
         return img;
     }},
    {"png_palette_alpha",
     [] { return fx::png_raw(3, 1, 8, 3, {2, 0, 1}, {{1, 2, 3, 255}, {40, 50, 60, 7}, {255, 0, 255, 128}}, true); },
     [] {
         image img(3, 1);
         img.set(0, 0, {255, 0, 255, 128});
         img.set(1, 0, {1, 2, 3, 255});
         img.set(2, 0, {40, 50, 60, 7});
         return img;
     }},
    // 16-bit samples keep their most significant byte; high and low bytes differ.
    {"png_16bit_rgba",
     [] { return fx::png_raw(1, 1, 16, 6, {0x12, 0x34, 0xAB, 0xCD, 0x01, 0xFF, 0xFE, 0x01}); },
     [] { return image(1, 1, {0x12, 0xAB, 0x01, 0xFE}); }},
    {"png_16bit_grey", [] { return fx::png_raw(1, 1, 16, 0, {0x80, 0x7F}); }, [] { return image(1, 1, {0x80, 0x80, 0x80, 255}); }},
    {"psd_16bit_rgb",
     [] { return fx::psd(1, 1, 3, 16, {0x12, 0x34, 0xAB, 0xCD, 0x01, 0xFF}); },
     [] { return image(1, 1, {0x12, 0xAB, 0x01, 255}); }},
    {"pnm_16bit_ppm",
     [] { return fx::pnm(2, 1, 3, 65535, {0x12, 0x34, 0xAB, 0xCD, 0x01, 0xFF, 0xFE, 0x01, 0x00, 0x80, 0x7F, 0x00}); },
     [] {
         image img(2, 1);
         img.set(0, 0, {0x12, 0xAB, 0x01, 255});
         img.set(1, 0, {0xFE, 0x00, 0x7F, 255});
         return img;
     }},
    {"pnm_16bit_pgm", [] { return fx::pnm(1, 1, 1, 1000, {0x03, 0xE7}); }, [] { return image(1, 1, {0x03, 0x03, 0x03, 255}); }},
};

class Formats : public ::testing::TestWithParam<format_case> {};

TEST_P(Formats, DecodesToTheExpectedRgba)
{
    const format_case &c = GetParam();
    std::string file = fx::write(std::string("formats/") + c.name, c.make());
    EXPECT_TRUE(decodes_to(file, c.expected()));
}

INSTANTIATE_TEST_SUITE_P(Load, Formats, ::testing::ValuesIn(kFormats),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Load, JpegDecodesWithinTolerance)
{
    image flat(16, 16, {120, 60, 200, 255});
    std::string file = fx::write("formats/flat.jpg", fx::jpg(flat, 100));
    std::string reference = fx::write("formats/flat-ref.png", fx::png(flat));
    const char *text = lib().stats(file.c_str(), reference.c_str());
    ASSERT_NE(text, nullptr) << error();
    EXPECT_NE(std::string(text).find("\"different_pixels\":0,\"total_pixels\":256}"), std::string::npos) << text;
}

TEST(Load, FormatComesFromContentNotName)
{
    fx::bytes data = fx::png(sample_rgba());
    EXPECT_TRUE(decodes_to(fx::write("named/photo.jpg", data), sample_rgba()));
    EXPECT_TRUE(decodes_to(fx::write("named/noextension", data), sample_rgba()));
    EXPECT_TRUE(decodes_to(fx::write("named/picture.bmp", fx::pnm(3, 2, 3, 255, interleaved(sample_rgba(), 3))),
                           opaque(sample_rgba())));
}

TEST(Load, SuccessAfterFailureLeavesTheMessageUntilAPixelCallStarts)
{
    std::string good = fx::write("after/good.png", fx::png(sample_rgba()));
    EXPECT_EQ(lib().perceptual("/nonexistent/a.png", good.c_str()), -1.0f);
    EXPECT_EQ(lib().perceptual(good.c_str(), good.c_str()), 100.0f);
    EXPECT_EQ(error(), "Failed to load '/nonexistent/a.png': Unable to open file");
}

// ---- failures ----

struct failure_case {
    const char *name;
    std::function<std::string()> make_path;  // the file to load
    const char *reason;                      // the expected reason after the path
};

void PrintTo(const failure_case &c, std::ostream *os) { *os << c.name; }

std::string fifo_path()
{
    std::string p = fx::path("fifo");
    unlink(p.c_str());
    if (mkfifo(p.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
    return p;
}

const failure_case kFailures[] = {
    {"missing_file", [] { return fx::path("does-not-exist.png"); }, "Unable to open file"},
    {"directory", [] { return fx::temp_dir(); }, "Unable to open file"},
    {"fifo_without_writer", fifo_path, "Unable to open file"},
    {"character_device", [] { return std::string("/dev/null"); }, "Unable to open file"},
    {"empty_file", [] { return fx::write("bad/empty.png", ""); }, "Image not of any known type, or corrupt"},
    {"unknown_content", [] { return fx::write("bad/text.png", "hello, world\n"); }, "Image not of any known type, or corrupt"},
    {"png_without_header_chunk",
     [] {
         fx::bytes data = fx::png(sample_rgba());
         data.replace(12, 4, "IDAT");
         return fx::write("bad/header.png", data);
     },
     "Corrupt PNG"},
    {"png_header_cut_short", [] { return fx::write("bad/short.png", fx::png(sample_rgba()).substr(0, 20)); },
     "PNG not supported: 1/2/4/8/16-bit only"},
    {"truncated_png", [] { return fx::write("bad/cut.png", fx::png_raw(2, 1, 8, 0, {1, 2}).substr(0, 45)); },
     "Corrupt PNG"},
    {"corrupt_jpeg", [] { return fx::write("bad/cut.jpg", fx::jpg(sample_rgba()).substr(0, 30)); }, "Corrupt JPEG"},
    // A segment whose length runs past the end: the skip must meet the end of the file.
    {"jpeg_segment_past_the_end", [] { return fx::write("bad/skip.jpg", "\xff\xd8\xff\xe0\x00\x30\x01\x52"); },
     "Corrupt JPEG"},
    {"pnm_wider_than_the_limit", [] { return fx::write("bad/wide.ppm", "P6\n16777217 1\n255\n"); },
     "Very large image (corrupt?)"},
};

class LoadFailures : public ::testing::TestWithParam<failure_case> {};

TEST_P(LoadFailures, NamePathAndReason)
{
    const failure_case &c = GetParam();
    const std::string p = c.make_path();
    const std::string want = "Failed to load '" + p + "': " + c.reason;
    EXPECT_EQ(lib().similarity(p.c_str(), p.c_str()), -1.0f);
    EXPECT_EQ(error(), want);
    EXPECT_EQ(lib().perceptual(p.c_str(), p.c_str()), -1.0f);
    EXPECT_EQ(error(), want);
}

INSTANTIATE_TEST_SUITE_P(Load, LoadFailures, ::testing::ValuesIn(kFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Load, NullPathFailsAsUnopenable)
{
    std::string good = fx::write("null/good.png", fx::png(sample_rgba()));
    EXPECT_EQ(lib().perceptual(nullptr, good.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '(null)': Unable to open file");
    EXPECT_EQ(lib().perceptual(good.c_str(), nullptr), -1.0f);
    EXPECT_EQ(error(), "Failed to load '(null)': Unable to open file");
}

TEST(Load, PathIsQuotedCharacterForCharacter)
{
    const std::string p = fx::path("odd name 'quoted' %s %d \xC3\xA9.png");
    EXPECT_EQ(lib().similarity(p.c_str(), p.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + p + "': Unable to open file");
}

TEST(Load, UnreadableFile)
{
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::string p = fx::write("bad/locked.png", fx::png(sample_rgba()));
    chmod(p.c_str(), 0);
    EXPECT_EQ(lib().similarity(p.c_str(), p.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + p + "': Unable to open file");
}

TEST(Load, MissingSecondaryIsNamedAfterTheDecodedPrimary)
{
    std::string good = fx::write("pair/good.png", fx::png(sample_rgba()));
    std::string missing = fx::path("pair/missing.png");
    EXPECT_EQ(lib().similarity(good.c_str(), missing.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + missing + "': Unable to open file");
    EXPECT_EQ(lib().similarity(missing.c_str(), "/also/missing.png"), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + missing + "': Unable to open file");
}

// The decoder's out-of-memory text, provoked in a child process whose address
// space is capped below what a small file claims to need.
TEST(Load, OutOfMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits do not mix with the sanitizer's shadow memory";
#endif
#if __has_include(<valgrind/valgrind.h>)
    if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "address space limits do not mix with valgrind's own mappings";
#endif
    std::string p = fx::write("bad/huge.ppm", "P6\n16000 16000\n255\n" + std::string(64, '\0'));
    lib();  // load the module before the limit
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        struct rlimit limit = {256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &limit);
        lib().similarity(p.c_str(), p.c_str());
        std::string message = error();
        ssize_t ignored = write(fds[1], message.data(), message.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(message, "Failed to load '" + p + "': Out of memory");
}

}  // namespace
