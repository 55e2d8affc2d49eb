// Damaged and hostile inputs: the exact message (or result) of each, the
// decoder faults the library guards against, the writers' size limits, and
// comparisons on eight threads at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "images.h"

using fx::image;
using host::error;
using host::lib;

namespace {

image pattern(int w, int h)
{
    image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y, {static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 50), static_cast<uint8_t>(x * y * 9), 255});
    return img;
}

std::vector<uint8_t> rgb_of(const image &img)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < img.px.size(); i += 4) out.insert(out.end(), &img.px[i], &img.px[i] + 3);
    return out;
}

std::vector<uint8_t> planar_of(const image &img)
{
    std::vector<uint8_t> out;
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < img.px.size(); i += 4) out.push_back(img.px[i + c]);
    return out;
}

// What one call reports: the stats text on success, else the message.
std::string outcome(const std::string &file)
{
    const char *text = lib().stats(file.c_str(), file.c_str());
    return text ? std::string(text) : error();
}

struct hostile_case {
    const char *name;
    std::function<fx::bytes()> make;
    const char *reason;  // after "Failed to load '<path>': ", or a stats text when it starts with '{'
};

void PrintTo(const hostile_case &c, std::ostream *os) { *os << c.name; }

#define STATS(n) "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":" #n "}"

fx::bytes cut(const fx::bytes &data, size_t keep) { return data.substr(0, keep); }

fx::bytes png_of() { return fx::png_raw(4, 3, 8, 2, rgb_of(pattern(4, 3))); }
fx::bytes bmp_of() { return fx::bmp24(pattern(4, 3)); }
fx::bytes tga_of() { return fx::tga(pattern(4, 3)); }
fx::bytes jpg_of() { return fx::jpg(pattern(16, 16), 90); }
fx::bytes psd_of() { return fx::psd(4, 3, 3, 8, planar_of(pattern(4, 3))); }
fx::bytes gif_of() { return fx::gif(2, 2, {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {1, 2, 3, 255}}, {{0, 1, 2, 3}}); }
fx::bytes hdr_of() { return fx::hdr(4, 1, {128, 128, 128, 129, 64, 64, 64, 128, 0, 0, 0, 0, 200, 100, 50, 128}); }
fx::bytes pic_of() { return fx::pic(pattern(4, 3), false); }
fx::bytes ppm_of() { return fx::pnm(4, 3, 3, 255, rgb_of(pattern(4, 3))); }

// A PNG whose only IDAT holds a deflate block of the reserved type 3.
fx::bytes png_deflate_type3()
{
    fx::bytes data = fx::png_raw(1, 1, 8, 0, {7});
    size_t idat = data.find("IDAT");
    data[idat + 4 + 2] = '\x07';  // BFINAL=1, BTYPE=3
    return data;
}

fx::bytes gif_lzw_code_size(char size)
{
    fx::bytes data = gif_of();
    data[data.find(',') + 10] = size;
    return data;
}

const hostile_case kHostile[] = {
    // Truncated files of every format, each at three cut points.
    {"png_cut_8", [] { return cut(png_of(), 8); }, "Corrupt PNG"},
    {"png_cut_33", [] { return cut(png_of(), 33); }, "PNG not supported: unknown PNG chunk type"},
    {"png_cut_60", [] { return cut(png_of(), 60); }, "Corrupt PNG"},
    {"bmp_cut_14", [] { return cut(bmp_of(), 14); }, "Image not of any known type, or corrupt"},
    {"bmp_cut_54", [] { return cut(bmp_of(), 54); }, STATS(12)},
    {"bmp_cut_60", [] { return cut(bmp_of(), 60); }, STATS(12)},
    {"tga_cut_10", [] { return cut(tga_of(), 10); }, "Image not of any known type, or corrupt"},
    {"tga_cut_18", [] { return cut(tga_of(), 18); }, STATS(12)},
    {"tga_cut_24", [] { return cut(tga_of(), 24); }, STATS(12)},
    {"jpeg_cut_2", [] { return cut(jpg_of(), 2); }, "Image not of any known type, or corrupt"},
    {"jpeg_cut_200", [] { return cut(jpg_of(), 200); }, STATS(256)},
    {"jpeg_cut_before_end", [] { fx::bytes d = jpg_of(); return cut(d, d.size() - 40); }, STATS(256)},
    {"psd_cut_10", [] { return cut(psd_of(), 10); }, "PSD bit depth is not 8 or 16 bit"},
    {"psd_cut_40", [] { return cut(psd_of(), 40); }, STATS(12)},
    {"psd_cut_50", [] { return cut(psd_of(), 50); }, STATS(12)},
    {"gif_cut_6", [] { return cut(gif_of(), 6); }, "Corrupt GIF"},
    {"gif_cut_25", [] { return cut(gif_of(), 25); }, "Corrupt GIF"},
    {"gif_cut_40", [] { return cut(gif_of(), 40); }, STATS(4)},
    {"hdr_cut_11", [] { return cut(hdr_of(), 11); }, "Unsupported HDR format"},
    {"hdr_cut_header", [] { fx::bytes d = hdr_of(); return cut(d, d.size() - 16); }, STATS(4)},
    {"hdr_cut_pixels", [] { fx::bytes d = hdr_of(); return cut(d, d.size() - 6); }, STATS(4)},
    {"pic_cut_4", [] { return cut(pic_of(), 4); }, "Image not of any known type, or corrupt"},
    {"pic_cut_100", [] { return cut(pic_of(), 100); }, "file too short (reading packets)"},
    {"pic_cut_120", [] { return cut(pic_of(), 120); }, "PIC file too short"},
    {"ppm_cut_3", [] { return cut(ppm_of(), 3); }, "Image not of any known type, or corrupt"},
    {"ppm_cut_header", [] { return cut(ppm_of(), 9); }, "PNM file truncated"},
    {"ppm_cut_pixels", [] { fx::bytes d = ppm_of(); return cut(d, d.size() - 5); }, "PNM file truncated"},
    // Huge claims with little data (kept small enough to be quick).
    {"ppm_claims_4096_square", [] { return fx::bytes("P6\n4096 4096\n255\n") + fx::bytes(16, 'x'); }, "PNM file truncated"},
    {"psd_claims_2_to_24_wide", [] { return fx::psd(1 << 24, 1, 3, 8, {}); }, STATS(16777216)},
    // Zero sides.
    {"png_zero_width", [] { fx::bytes d = png_of(); d[16] = d[17] = d[18] = d[19] = '\0'; return d; }, "Corrupt PNG"},
    {"ppm_zero_height", [] { return fx::bytes("P6\n4 0\n255\n"); }, "PPM image header had zero or overflowing width"},
    {"gif_zero_size", [] { fx::bytes d = gif_of(); d[6] = d[7] = d[8] = d[9] = '\0'; return d; }, "Corrupt GIF"},
    // Damaged streams.
    {"png_bad_crc", [] { fx::bytes d = png_of(); d[29] ^= 0x55; return d; }, STATS(12)},
    {"png_bad_zlib_header", [] { fx::bytes d = png_of(); d[d.find("IDAT") + 4] = '\x00'; return d; }, "Corrupt PNG"},
    {"png_deflate_block_type_3", png_deflate_type3, "(null)"},
    {"gif_no_frames", [] { fx::bytes d = gif_of(); return d.substr(0, 6 + 7 + 12) + ";"; }, "(null)"},
    {"gif_lzw_code_size_13", [] { return gif_lzw_code_size('\x0D'); }, "(null)"},
    {"psd_16bit", [] { return fx::psd(1, 1, 3, 16, {0x12, 0x34, 0xAB, 0xCD, 0x01, 0xFF}); }, STATS(1)},
};

class Hostile : public ::testing::TestWithParam<hostile_case> {};

TEST_P(Hostile, ExactOutcome)
{
    const hostile_case &c = GetParam();
    const std::string p = fx::write(std::string("hostile/") + c.name, c.make());
    const std::string want = c.reason[0] == '{' ? std::string(c.reason) : "Failed to load '" + p + "': " + c.reason;
    // An earlier failure with another reason must not leak into this one.
    lib().similarity("/nonexistent/earlier.png", "/nonexistent/earlier.png");
    EXPECT_EQ(outcome(p), want);
    // The same on every run: a second call gives the same answer.
    EXPECT_EQ(outcome(p), want);
}

INSTANTIATE_TEST_SUITE_P(Hardening, Hostile, ::testing::ValuesIn(kHostile),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A 24-bit BMP header that claims w x h pixels, followed by no pixel data:
// the decoder accepts it and every pixel it never read must be 0, 0, 0, 255.
fx::bytes bmp_claiming(int w, int h)
{
    fx::bytes data = fx::bmp24(image(1, 1)).substr(0, 54);
    for (int i = 0; i < 4; ++i) {
        data[18 + i] = static_cast<char>((static_cast<uint32_t>(w) >> (8 * i)) & 0xFF);
        data[22 + i] = static_cast<char>((static_cast<uint32_t>(h) >> (8 * i)) & 0xFF);
    }
    return data;
}

TEST(Hardening, PixelsTheDecoderNeverWroteReadZero)
{
    // Bottom-up BMP cut after its first two pixels: the rest of the canvas is black.
    image src = pattern(4, 3);
    std::string cut_file = fx::write("zerofill/cut.bmp", fx::bmp24(src).substr(0, 60));
    image expected(4, 3, {0, 0, 0, 255});
    expected.set(0, 2, src.at(0, 2));
    expected.set(1, 2, src.at(1, 2));
    std::string reference = fx::write("zerofill/expected.png", fx::png(expected));
    const std::string identical = STATS(12);
    for (int run = 0; run < 3; ++run) {
        const char *text = lib().stats(cut_file.c_str(), reference.c_str());
        ASSERT_NE(text, nullptr) << error();
        EXPECT_EQ(std::string(text), identical);
    }
    // Flat Radiance HDR cut inside its third pixel: the decoder reads each
    // pixel into a stack array and ignores the short read; the rest reads 0.
    std::string hdr_cut = fx::write("zerofill/cut.hdr", hdr_of().substr(0, hdr_of().size() - 6));
    image hdr_expected(4, 1, {0, 0, 0, 255});
    hdr_expected.set(0, 0, {255, 255, 255, 255});
    hdr_expected.set(1, 0, {136, 136, 136, 255});
    std::string hdr_reference = fx::write("zerofill/hdr-expected.png", fx::png(hdr_expected));
    for (int run = 0; run < 3; ++run) EXPECT_STREQ(lib().stats(hdr_cut.c_str(), hdr_reference.c_str()), STATS(4));
    std::string claim = fx::write("zerofill/claim.bmp", bmp_claiming(64, 64));
    std::string black = fx::write("zerofill/black.png", fx::png(image(64, 64, {0, 0, 0, 255})));
    EXPECT_STREQ(lib().stats(claim.c_str(), black.c_str()), STATS(4096));
}

TEST(Hardening, FailureWithoutTextReadsNullAfterAnEarlierReason)
{
    std::string cut = fx::write("nulltext/cut.png", fx::png(pattern(4, 3)).substr(0, 8));
    std::string frameless = fx::write("nulltext/frameless.gif", fx::gif(2, 2, {}, {}));
    EXPECT_EQ(lib().perceptual(cut.c_str(), cut.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + cut + "': Corrupt PNG");
    EXPECT_EQ(lib().perceptual(frameless.c_str(), frameless.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + frameless + "': (null)");
}

TEST(Hardening, DeviceThatNeverEndsFailsAtOnce)
{
    EXPECT_EQ(lib().similarity("/dev/zero", "/dev/zero"), -1.0f);
    EXPECT_EQ(error(), "Failed to load '/dev/zero': Unable to open file");
}

TEST(Hardening, PathOf5000CharactersIsCutInTheMessage)
{
    std::string p = "/" + std::string(4999, 'p');
    EXPECT_EQ(lib().similarity(p.c_str(), p.c_str()), -1.0f);
    std::string e = error();
    EXPECT_EQ(e.size(), 1023u);
    EXPECT_EQ(e, ("Failed to load '" + p).substr(0, 1023));
}

TEST(Hardening, NonAsciiPathBytesReachTheFileSystemUnchanged)
{
    std::string p = fx::write("bytes-\xC3\xA9\xE2\x82\xAC\xFF\x01.png", fx::png(pattern(4, 3)));
    EXPECT_EQ(lib().similarity(p.c_str(), p.c_str()), 100.0f) << error();
    std::string missing = fx::path("missing-\xFE\xFF.png");
    EXPECT_EQ(lib().similarity(missing.c_str(), p.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + missing + "': Unable to open file");
}

// ---- the writers' limits ----

struct writer_case {
    const char *name;
    int w, h;
    const char *ext;
    int written;
};

void PrintTo(const writer_case &c, std::ostream *os) { *os << c.name; }

const writer_case kWriters[] = {
    {"zero_width_png", 0, 3, "png", 0},
    {"zero_width_bmp", 0, 3, "bmp", 0},
    {"zero_width_jpeg", 0, 3, "jpg", 0},
    {"zero_height_png", 3, 0, "png", 0},
    {"jpeg_65535_wide", 65535, 1, "jpg", 1},
    {"jpeg_65536_wide_cannot_be_stored", 65536, 1, "jpg", 0},
    {"jpeg_65536_high_cannot_be_stored", 1, 65536, "jpg", 0},
    {"png_65536_wide", 65536, 1, "png", 1},
    {"bmp_65536_wide", 65536, 1, "bmp", 1},
};

class Writers : public ::testing::TestWithParam<writer_case> {};

TEST_P(Writers, CanvasFitsTheWriterOrFailsWithItsMessage)
{
    const writer_case &c = GetParam();
    std::string in = fx::write(std::string("writers/") + c.name + "-in.bmp", bmp_claiming(c.w, c.h));
    std::string out = fx::path(std::string("writers/") + c.name + "." + c.ext);
    unlink(out.c_str());
    EXPECT_EQ(lib().diff(in.c_str(), in.c_str(), out.c_str()), c.written);
    struct stat st;
    if (c.written) {
        EXPECT_EQ(error(), "");
        image back;
        ASSERT_TRUE(fx::decode(out, back));
        EXPECT_EQ(back.w, c.w);
        EXPECT_EQ(back.h, c.h);
    } else {
        EXPECT_EQ(error(), "Failed to write diff output file '" + out + "'");
        EXPECT_NE(stat(out.c_str(), &st), 0) << "the writer must not have been called";
    }
}

INSTANTIATE_TEST_SUITE_P(Hardening, Writers, ::testing::ValuesIn(kWriters),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Hardening, WriterFailureAfterAResampledComparison)
{
    std::string a = fx::write("wfail/a.png", fx::png(pattern(5, 4)));
    std::string b = fx::write("wfail/b.png", fx::png(pattern(3, 2)));
    std::string out = fx::path("wfail/no/such/dir/out.png");
    EXPECT_EQ(lib().diff(a.c_str(), b.c_str(), out.c_str()), 0);
    EXPECT_EQ(error(), "Failed to write diff output file '" + out + "'");
}

// ---- eight threads at once ----

struct call_result {
    float similarity, perceptual;
    bool stats_ok;
    int diff;
    fx::bytes diff_file;
};

TEST(Hardening, EightThreadsGetTheResultsOfCallsMadeAlone)
{
    std::vector<std::string> files = {
        fx::write("mt/a.png", fx::png(pattern(6, 5))),
        fx::write("mt/b.bmp", fx::bmp24(pattern(4, 4))),
        fx::write("mt/c.jpg", fx::jpg(pattern(16, 8), 90)),
        fx::write("mt/d.ppm", fx::pnm(4, 3, 3, 255, rgb_of(pattern(4, 3)))),
        fx::write("mt/e.gif", gif_of()),
        fx::write("mt/cut.png", fx::png(pattern(4, 3)).substr(0, 40)),
        fx::write("mt/frameless.gif", fx::gif(2, 2, {}, {})),
        fx::path("mt/missing.png"),
        fx::write("mt/zero.bmp", bmp_claiming(0, 2)),
    };
    struct pair_job {
        std::string a, b;
    };
    std::vector<pair_job> jobs;
    for (size_t i = 0; i < files.size(); ++i)
        for (size_t j = 0; j < files.size(); ++j) jobs.push_back({files[i], files[j]});
    static const char *const exts[] = {"png", "bmp", "jpg"};
    auto run = [&](size_t k, const std::string &tag) {
        call_result r;
        const pair_job &job = jobs[k];
        r.similarity = lib().similarity(job.a.c_str(), job.b.c_str());
        r.stats_ok = lib().stats(job.a.c_str(), job.b.c_str()) != nullptr;
        r.perceptual = lib().perceptual(job.a.c_str(), job.b.c_str());
        std::string out = fx::path("mt/out-" + tag + "-" + std::to_string(k) + "." + exts[k % 3]);
        r.diff = lib().diff(job.a.c_str(), job.b.c_str(), out.c_str());
        r.diff_file = r.diff ? fx::read(out) : fx::bytes();
        return r;
    };
    std::vector<call_result> alone;
    for (size_t k = 0; k < jobs.size(); ++k) alone.push_back(run(k, "alone"));

    std::atomic<bool> done{false};
    std::atomic<int> bad_texts{0};
    std::thread reader([&] {
        while (!done) {
            if (!memchr(lib().last_error(), '\0', 1024)) ++bad_texts;
            const char *stats = lib().stats(files[0].c_str(), files[1].c_str());
            if (stats && !memchr(stats, '\0', 1024)) ++bad_texts;
        }
    });
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (size_t n = 0; n < jobs.size(); ++n) {
                size_t k = (n * 7 + static_cast<size_t>(t) * 13) % jobs.size();
                call_result r = run(k, "t" + std::to_string(t));
                const call_result &want = alone[k];
                if (std::memcmp(&r.similarity, &want.similarity, sizeof(float)) != 0 ||
                    std::memcmp(&r.perceptual, &want.perceptual, sizeof(float)) != 0 || r.stats_ok != want.stats_ok ||
                    r.diff != want.diff || r.diff_file != want.diff_file)
                    ++mismatches;
                if (strlen(lib().last_error()) > 1023) ++bad_texts;
            }
        });
    for (auto &t : threads) t.join();
    done = true;
    reader.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(bad_texts.load(), 0);
    // The mix really holds both kinds of call.
    int failures = 0;
    for (const call_result &r : alone) failures += r.similarity == -1.0f;
    EXPECT_GT(failures, 0);
    EXPECT_LT(failures, static_cast<int>(alone.size()));
}

}  // namespace
