// Pixel comparison: the similarity score and the record behind it.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "host.h"
#include "images.h"

using fx::image;
using fx::rgba;
using host::error;
using host::lib;

namespace {

std::string stats_text(int identical, const char *similarity, unsigned long long different, unsigned long long total)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, "{\"identical\":%s,\"similarity\":%s,\"different_pixels\":%llu,\"total_pixels\":%llu}",
                  identical ? "true" : "false", similarity, different, total);
    return buf;
}

// The score as the library defines it: per-pixel terms added in pixel order.
float reference_score(const image &a, const image &b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.px.size(); i += 4) {
        int s = 0;
        for (int c = 0; c < 4; ++c) s += std::abs(int(a.px[i + c]) - int(b.px[i + c]));
        sum += s / 1020.0;
    }
    float f = static_cast<float>((1.0 - sum / (a.px.size() / 4)) * 100.0);
    return f < 0.0f ? 0.0f : (f > 100.0f ? 100.0f : f);
}

struct pair_case {
    const char *name;
    std::function<image()> primary, secondary;
    float similarity;  // exact
    unsigned long long different;
};

void PrintTo(const pair_case &c, std::ostream *os) { *os << c.name; }

image gradient(int w, int h)
{
    image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y, {uint8_t(x * 255 / (w - 1)), uint8_t(y * 255 / (h - 1)), uint8_t((x * y) % 256), 255});
    return img;
}

image offset(image img, int delta, int channels = 4)
{
    for (size_t i = 0; i < img.px.size(); i += 4)
        for (int c = 0; c < channels; ++c) {
            int v = img.px[i + c];
            img.px[i + c] = uint8_t(v + delta <= 255 ? v + delta : v - delta);
        }
    return img;
}

const pair_case kPairs[] = {
    {"black_against_white", [] { return image(5, 4, {0, 0, 0, 255}); }, [] { return image(5, 4, {255, 255, 255, 255}); },
     25.0f, 20},
    {"transparent_black_against_white", [] { return image(3, 3, {0, 0, 0, 0}); },
     [] { return image(3, 3, {255, 255, 255, 255}); }, 0.0f, 9},
    {"alpha_only_1x1", [] { return image(1, 1, {9, 9, 9, 0}); }, [] { return image(1, 1, {9, 9, 9, 255}); }, 75.0f, 1},
    {"every_channel_off_by_2", [] { return gradient(7, 5); }, [] { return offset(gradient(7, 5), 2); },
     reference_score(gradient(7, 5), offset(gradient(7, 5), 2)), 0},
    {"one_channel_of_one_pixel_off_by_3", [] { return gradient(4, 4); },
     [] {
         image img = gradient(4, 4);
         img.px[5 * 4 + 2] = uint8_t(img.px[5 * 4 + 2] + 3);
         return img;
     },
     reference_score(gradient(4, 4), [] {
         image img = gradient(4, 4);
         img.px[5 * 4 + 2] = uint8_t(img.px[5 * 4 + 2] + 3);
         return img;
     }()),
     1},
    {"gradient_against_inverse", [] { return gradient(9, 6); },
     [] {
         image img = gradient(9, 6);
         for (size_t i = 0; i < img.px.size(); i += 4)
             for (int c = 0; c < 3; ++c) img.px[i + c] = uint8_t(255 - img.px[i + c]);
         return img;
     },
     reference_score(gradient(9, 6),
                     [] {
                         image img = gradient(9, 6);
                         for (size_t i = 0; i < img.px.size(); i += 4)
                             for (int c = 0; c < 3; ++c) img.px[i + c] = uint8_t(255 - img.px[i + c]);
                         return img;
                     }()),
     54},
};

class Pairs : public ::testing::TestWithParam<pair_case> {};

TEST_P(Pairs, ScoreAndCountsAreExact)
{
    const pair_case &c = GetParam();
    image a = c.primary(), b = c.secondary();
    std::string pa = fx::write(std::string("pairs/") + c.name + "-a.png", fx::png(a));
    std::string pb = fx::write(std::string("pairs/") + c.name + "-b.png", fx::png(b));
    float score = lib().similarity(pa.c_str(), pb.c_str());
    EXPECT_EQ(score, c.similarity) << "got " << score;
    EXPECT_EQ(error(), "");
    const char *text = lib().stats(pa.c_str(), pb.c_str());
    ASSERT_NE(text, nullptr) << error();
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.2f", static_cast<double>(c.similarity));
    EXPECT_EQ(text, stats_text(0, digits, c.different, static_cast<unsigned long long>(a.w) * a.h));
}

INSTANTIATE_TEST_SUITE_P(Similarity, Pairs, ::testing::ValuesIn(kPairs),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Similarity, OffByTwoEverywhereIsJustBelowAHundred)
{
    // (1 - 8/1020) * 100 for every pixel: no pixel differs, yet not identical.
    image a = image(2, 2, {100, 100, 100, 100});
    std::string pa = fx::write("offby2/a.png", fx::png(a));
    std::string pb = fx::write("offby2/b.png", fx::png(offset(a, 2)));
    EXPECT_EQ(lib().similarity(pa.c_str(), pb.c_str()), static_cast<float>((1.0 - 8.0 / 1020.0) * 100.0));
    EXPECT_STREQ(lib().stats(pa.c_str(), pb.c_str()),
                 "{\"identical\":false,\"similarity\":99.22,\"different_pixels\":0,\"total_pixels\":4}");
}

TEST(Similarity, SamePixelsInTwoFormatsAreIdentical)
{
    image img = gradient(6, 5);
    std::string png = fx::write("two-formats/a.png", fx::png(img));
    std::string bmp = fx::write("two-formats/a.bmp", fx::bmp(img));
    EXPECT_EQ(lib().similarity(png.c_str(), bmp.c_str()), 100.0f);
    EXPECT_EQ(error(), "");
    EXPECT_STREQ(lib().stats(png.c_str(), bmp.c_str()), stats_text(1, "100.00", 0, 30).c_str());
    EXPECT_STREQ(lib().stats(png.c_str(), png.c_str()), stats_text(1, "100.00", 0, 30).c_str());
}

TEST(Similarity, SecondaryOfAnotherSizeIsResampledOntoThePrimaryCanvas)
{
    std::string small = fx::write("resample/small.png", fx::png(image(4, 2, {30, 60, 90, 255})));
    std::string large = fx::write("resample/large.png", fx::png(image(8, 4, {30, 60, 90, 255})));
    // A flat colour resamples to itself, yet a resampled pair is never identical.
    EXPECT_STREQ(lib().stats(small.c_str(), large.c_str()), stats_text(0, "100.00", 0, 8).c_str());
    EXPECT_STREQ(lib().stats(large.c_str(), small.c_str()), stats_text(0, "100.00", 0, 32).c_str());
    EXPECT_EQ(lib().similarity(small.c_str(), large.c_str()), 100.0f);
}

TEST(Similarity, ResampledSecondaryIsComparedPixelByPixel)
{
    // Left half black, right half white, at two sizes: the resampled edge
    // column blends, everything else matches.
    auto halves = [](int w, int h) {
        image img(w, h, {0, 0, 0, 255});
        for (int y = 0; y < h; ++y)
            for (int x = w / 2; x < w; ++x) img.set(x, y, {255, 255, 255, 255});
        return img;
    };
    std::string a = fx::write("resample/halves-8.png", fx::png(halves(8, 8)));
    std::string b = fx::write("resample/halves-32.png", fx::png(halves(32, 32)));
    float score = lib().similarity(a.c_str(), b.c_str());
    EXPECT_GT(score, 90.0f);
    EXPECT_LT(score, 100.0f);
    const char *text = lib().stats(a.c_str(), b.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::string(text).find("\"identical\":false"), std::string::npos);
    EXPECT_NE(std::string(text).find("\"total_pixels\":64}"), std::string::npos);
}

TEST(Similarity, NullPathsAreRefusedBeforeAnyFileIsOpened)
{
    std::string good = fx::write("null/good.png", fx::png(image(1, 1)));
    EXPECT_EQ(lib().similarity(nullptr, good.c_str()), -1.0f);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_EQ(lib().similarity(good.c_str(), nullptr), -1.0f);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
}

TEST(Similarity, EmptyPathIsAFileThatCannotBeOpened)
{
    EXPECT_EQ(lib().similarity("", ""), -1.0f);
    EXPECT_EQ(error(), "Failed to load '': Unable to open file");
}

// A BMP header may claim zero width; the decoder accepts it.
fx::bytes zero_width_bmp(int height)
{
    image none(1, height, {0, 0, 0, 255});
    fx::bytes data = fx::bmp24(none);
    // BITMAPINFOHEADER width at offset 18 becomes 0; the pixel data then has no bytes to cover.
    data[18] = data[19] = data[20] = data[21] = '\0';
    return data;
}

TEST(Similarity, TwoZeroPixelImagesAreIdentical)
{
    std::string a = fx::write("zero/a.bmp", zero_width_bmp(3));
    std::string b = fx::write("zero/b.bmp", zero_width_bmp(3));
    EXPECT_EQ(lib().similarity(a.c_str(), b.c_str()), 100.0f) << error();
    EXPECT_STREQ(lib().stats(a.c_str(), b.c_str()), stats_text(1, "100.00", 0, 0).c_str());
}

TEST(Similarity, ZeroPixelPrimaryAgainstAnotherSizeCannotBeResampled)
{
    std::string zero = fx::write("zero/z.bmp", zero_width_bmp(3));
    std::string good = fx::write("zero/good.png", fx::png(image(2, 2)));
    EXPECT_EQ(lib().similarity(zero.c_str(), good.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to resize secondary image to match primary canvas");
}

}  // namespace
