// Difference image: grey levels, red pixels, output format, guards, failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host.h"
#include "images.h"

using fx::image;
using fx::rgba;
using host::error;
using host::lib;

namespace {

std::string write_png(const std::string &name, const image &img) { return fx::write("diff/" + name, fx::png(img)); }

// Runs a diff into a PNG and decodes the picture.
image diff_picture(const image &a, const image &b, const std::string &name)
{
    std::string pa = write_png(name + "-a.png", a), pb = write_png(name + "-b.png", b);
    std::string out = fx::path("diff/" + name + "-out.png");
    EXPECT_EQ(lib().diff(pa.c_str(), pb.c_str(), out.c_str()), 1) << error();
    EXPECT_EQ(error(), "");
    image picture;
    EXPECT_TRUE(fx::decode(out, picture));
    return picture;
}

struct grey_case {
    rgba colour;
    int grey;
};

// Luma in double, truncated, then 130 + 0.4 L' truncated.
const grey_case kGreys[] = {
    {{0, 0, 0, 255}, 130},     {{1, 1, 1, 255}, 130},       {{3, 3, 3, 255}, 131},     {{127, 127, 127, 255}, 180},
    {{128, 128, 128, 255}, 180}, {{129, 129, 129, 255}, 181}, {{254, 254, 254, 255}, 231}, {{255, 255, 255, 255}, 232},
    {{255, 0, 0, 255}, 160},   {{0, 255, 0, 255}, 189},     {{0, 0, 255, 255}, 141},   {{200, 100, 50, 255}, 179},
    // Neutral greys whose double luma falls just below v: L' = v - 1.
    {{2, 2, 2, 255}, 130},     {{4, 4, 4, 255}, 131},       {{8, 8, 8, 255}, 132},
};

TEST(Diff, GreyLevelsOfMatchingPixels)
{
    const int n = static_cast<int>(sizeof kGreys / sizeof kGreys[0]);
    image a(n, 1);
    for (int i = 0; i < n; ++i) a.set(i, 0, kGreys[i].colour);
    image picture = diff_picture(a, a, "greys");
    ASSERT_EQ(picture.w, n);
    for (int i = 0; i < n; ++i) {
        rgba c = kGreys[i].colour;
        const uint8_t g = static_cast<uint8_t>(kGreys[i].grey);
        rgba got = picture.at(i, 0);
        EXPECT_TRUE(got.r == g && got.g == g && got.b == g && got.a == 255)
            << "colour " << int(c.r) << "," << int(c.g) << "," << int(c.b) << " gave " << int(got.r) << ","
            << int(got.g) << "," << int(got.b) << "," << int(got.a) << ", want " << int(g);
    }
}

TEST(Diff, NeutralGreysOneLowerWhereDoubleLumaFallsShort)
{
    // For these v the double luma is just below v; L' = v - 1 shows in g when
    // 2v / 5 and 2(v - 1) / 5 differ.
    const int lower[] = {1, 2, 4, 8, 127, 128, 254};
    image a(7, 1);
    for (int i = 0; i < 7; ++i) a.set(i, 0, {uint8_t(lower[i]), uint8_t(lower[i]), uint8_t(lower[i]), 255});
    image picture = diff_picture(a, a, "neutral");
    for (int i = 0; i < 7; ++i) EXPECT_EQ(picture.at(i, 0).r, 130 + 2 * (lower[i] - 1) / 5) << "v = " << lower[i];
}

TEST(Diff, ToleranceDecidesGreyOrRedAndEveryPixelIsOpaque)
{
    image a(4, 1, {100, 100, 100, 255});
    a.set(3, 0, {100, 100, 100, 0});  // transparent but matching
    image b = a;
    b.set(0, 0, {102, 98, 102, 253});  // within 2 everywhere
    b.set(1, 0, {100, 100, 100, 252});  // alpha off by 3
    b.set(2, 0, {100, 100, 103, 255});  // blue off by 3
    image picture = diff_picture(a, b, "tolerance");
    const uint8_t g = 170;  // luma of 100,100,100 is 100
    EXPECT_EQ(picture.at(0, 0).r, g);
    EXPECT_EQ(picture.at(0, 0).a, 255);
    EXPECT_EQ(fx::count_red(picture), 2);
    EXPECT_EQ(picture.at(1, 0).r, 255);
    EXPECT_EQ(picture.at(2, 0).g, 0);
    EXPECT_EQ(picture.at(3, 0).r, g);
    EXPECT_EQ(picture.at(3, 0).a, 255);
}

TEST(Diff, SameFileTwiceIsAllGrey)
{
    image a(6, 4, {10, 200, 30, 255});
    std::string pa = write_png("same.png", a), out = fx::path("diff/same-out.bmp");
    ASSERT_EQ(lib().diff(pa.c_str(), pa.c_str(), out.c_str()), 1);
    image picture;
    ASSERT_TRUE(fx::decode(out, picture));
    EXPECT_EQ(fx::count_red(picture), 0);
}

image busy(int w, int h, unsigned seed)
{
    image img(w, h);
    for (auto &v : img.px) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return img;
}

class RedCount : public ::testing::TestWithParam<const char *> {};

TEST_P(RedCount, EqualsDifferentPixelsOfStats)
{
    image a = busy(23, 17, 1), b = a;
    // Small changes on a third of the pixels: some within tolerance, some not.
    for (size_t i = 0; i < b.px.size(); i += 12) b.px[i] = static_cast<uint8_t>(b.px[i] ^ (i % 7));
    std::string pa = write_png("count-a.png", a), pb = write_png("count-b.png", b);
    std::string out = fx::path(std::string("diff/count-out.") + GetParam());
    ASSERT_EQ(lib().diff(pa.c_str(), pb.c_str(), out.c_str()), 1) << error();
    image picture;
    ASSERT_TRUE(fx::decode(out, picture));
    const std::string text = lib().stats(pa.c_str(), pb.c_str());
    const std::string want = "\"different_pixels\":" + std::to_string(fx::count_red(picture)) + ",";
    EXPECT_NE(text.find(want), std::string::npos) << text << " vs red count " << fx::count_red(picture);
    EXPECT_GT(fx::count_red(picture), 0);
}

INSTANTIATE_TEST_SUITE_P(Diff, RedCount, ::testing::Values("png", "bmp"));

enum kind { PNG, BMP, JPEG };

kind sniff(const fx::bytes &data)
{
    if (data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return PNG;
    if (data.compare(0, 2, "BM") == 0) return BMP;
    if (data.compare(0, 2, "\xFF\xD8") == 0) return JPEG;
    ADD_FAILURE() << "unknown output format";
    return PNG;
}

struct ext_case {
    const char *name;  // relative to the test folder
    kind format;
};

void PrintTo(const ext_case &c, std::ostream *os) { *os << c.name; }

const ext_case kExtensions[] = {
    {"diff.JPG", JPEG},        {"diff.Jpeg", JPEG},     {"diff.jpg", JPEG},       {"diff.BMP", BMP},
    {"diff.png", PNG},         {"diff", PNG},           {"diff.", PNG},           {"diff.jpe", PNG},
    {"diff.jpegx", PNG},       {"diff.tga", PNG},       {"diff.gif", PNG},        {"diff.bmp2", PNG},
    {"out.d/diff", PNG},       {"out.jpg/diff", PNG},  {"diff.jpgaaaaaaaaaaaaaaaa", PNG},
    {"diff.tar.bmp", BMP},
};

class OutputFormat : public ::testing::TestWithParam<ext_case> {};

TEST_P(OutputFormat, FollowsTheLastDotOfThePath)
{
    const ext_case &c = GetParam();
    std::string pa = write_png("fmt.png", busy(5, 3, 9));
    std::string out = fx::path(std::string("formats/") + c.name);
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    ASSERT_EQ(lib().diff(pa.c_str(), pa.c_str(), out.c_str()), 1) << error();
    EXPECT_EQ(sniff(fx::read(out)), c.format);
    image picture;
    ASSERT_TRUE(fx::decode(out, picture));
    EXPECT_EQ(picture.w, 5);
    EXPECT_EQ(picture.h, 3);
}

INSTANTIATE_TEST_SUITE_P(Diff, OutputFormat, ::testing::ValuesIn(kExtensions),
                         [](const auto &info) {
                             std::string n;
                             for (const char *p = info.param.name; *p; ++p) n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return n + "_" + std::to_string(info.index);
                         });

TEST(Diff, DotOnlyAtTheStartOfThePathMeansNoExtension)
{
    std::string pa = write_png("dot.png", busy(3, 3, 4));
    std::string here = std::filesystem::current_path().string();
    std::filesystem::create_directories(fx::path("cwd"));
    ASSERT_EQ(chdir(fx::path("cwd").c_str()), 0);
    int written = lib().diff(pa.c_str(), pa.c_str(), ".jpg");
    fx::bytes data = fx::read(".jpg");
    ASSERT_EQ(chdir(here.c_str()), 0);
    ASSERT_EQ(written, 1) << error();
    EXPECT_EQ(sniff(data), PNG);
}

TEST(Diff, JpegOutputKeepsTheLayoutApproximately)
{
    image a(32, 32, {200, 200, 200, 255}), b = a;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) b.set(x, y, {0, 0, 0, 255});
    std::string pa = write_png("jpeg-a.png", a), pb = write_png("jpeg-b.png", b), out = fx::path("diff/out.jpeg");
    ASSERT_EQ(lib().diff(pa.c_str(), pb.c_str(), out.c_str()), 1);
    image picture;
    ASSERT_TRUE(fx::decode(out, picture));
    rgba red = picture.at(2, 2), grey = picture.at(28, 28);
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.g, 60);
    EXPECT_NEAR(grey.r, 210, 4);  // 130 + 0.4 * 200
}

TEST(Diff, SecondaryOfAnotherSizeGivesAPictureOfThePrimarySize)
{
    image a(12, 8, {50, 50, 50, 255});
    image b(5, 3, {50, 50, 50, 255});
    b.set(0, 0, {255, 255, 255, 255});
    image picture = diff_picture(a, b, "resampled");
    EXPECT_EQ(picture.w, 12);
    EXPECT_EQ(picture.h, 8);
    EXPECT_GT(fx::count_red(picture), 0);
    EXPECT_EQ(picture.at(11, 7).r, 150);
}

TEST(Diff, OutputMayReplaceAnInputFile)
{
    image a(4, 4, {0, 0, 0, 255}), b(4, 4, {255, 255, 255, 255});
    std::string pa = write_png("replace-a.png", a), pb = write_png("replace-b.png", b);
    ASSERT_EQ(lib().diff(pa.c_str(), pb.c_str(), pa.c_str()), 1) << error();
    image picture;
    ASSERT_TRUE(fx::decode(pa, picture));
    EXPECT_EQ(fx::count_red(picture), 16);
}

TEST(Diff, GuardsComeInOrderOutputFirst)
{
    std::string pa = write_png("guard.png", image(2, 2));
    EXPECT_EQ(lib().diff(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(error(), "Null or empty output image path");
    EXPECT_EQ(lib().diff(pa.c_str(), pa.c_str(), ""), 0);
    EXPECT_EQ(error(), "Null or empty output image path");
    EXPECT_EQ(lib().diff(nullptr, pa.c_str(), "out.png"), 0);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_EQ(lib().diff(pa.c_str(), nullptr, "out.png"), 0);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_FALSE(std::filesystem::exists("out.png"));
}

TEST(Diff, LoadFailureIsReportedBeforeTheOutputIsTouched)
{
    std::string pa = write_png("load.png", image(2, 2));
    std::string out = fx::path("diff/never-written.png");
    std::string missing = fx::path("diff/missing.png");
    EXPECT_EQ(lib().diff(pa.c_str(), missing.c_str(), out.c_str()), 0);
    EXPECT_EQ(error(), "Failed to load '" + missing + "': Unable to open file");
    EXPECT_FALSE(std::filesystem::exists(out));
}

class WriteFailure : public ::testing::TestWithParam<const char *> {};

TEST_P(WriteFailure, MissingDirectoryIsFoundWhenTheWriterRuns)
{
    std::string pa = write_png("write.png", image(3, 2));
    std::string out = fx::path(std::string("no/such/dir/diff.") + GetParam());
    EXPECT_EQ(lib().diff(pa.c_str(), pa.c_str(), out.c_str()), 0);
    EXPECT_EQ(error(), "Failed to write diff output file '" + out + "'");
}

INSTANTIATE_TEST_SUITE_P(Diff, WriteFailure, ::testing::Values("png", "bmp", "jpg"));

TEST(Diff, SuccessEmptiesAnEarlierMessage)
{
    std::string pa = write_png("clear.png", image(2, 2));
    EXPECT_EQ(lib().similarity(nullptr, nullptr), -1.0f);
    ASSERT_EQ(lib().diff(pa.c_str(), pa.c_str(), fx::path("diff/clear-out.png").c_str()), 1);
    EXPECT_EQ(error(), "");
}

}  // namespace
