// Perceptual score through the export: fixed hashes seen through their
// distance to an all-black image (hash 0), sizes, order of loading, messages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host.h"
#include "images.h"

using fx::four_colours;
using fx::halves;
using fx::image;
using fx::rgba;
using host::error;
using host::lib;

namespace {

std::string write_png(const std::string &name, const image &img) { return fx::write("phash/" + name, fx::png(img)); }

// A smooth scene sampled at any resolution, so that two sizes show the same picture.
image scene(int w, int h)
{
    image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double u = (x + 0.5) / w, v = (y + 0.5) / h;
            double r = 128 + 100 * std::sin(6.0 * u), g = 128 + 100 * std::cos(4.0 * v);
            double b = (u - 0.3) * (u - 0.3) + (v - 0.6) * (v - 0.6) < 0.04 ? 250 : 40;
            img.set(x, y, {uint8_t(r), uint8_t(g), uint8_t(b), 255});
        }
    return img;
}

TEST(Perceptual, WorkedExamplesScoreAgainstBlackByTheirBitCounts)
{
    std::string black = write_png("black.png", image(3, 3));
    // FFF9F9FFF99191F9 has 46 bits set; FFFFFEFFFFFFFEFF and FFFFFFFFFFFFFFDD 62 each.
    std::string colours = write_png("colours.png", four_colours());
    std::string lr = write_png("left-right.png", halves(true));
    std::string tb = write_png("top-bottom.png", halves(false));
    EXPECT_EQ(lib().perceptual(colours.c_str(), black.c_str()), 28.125f);
    EXPECT_EQ(lib().perceptual(lr.c_str(), black.c_str()), 3.125f);
    EXPECT_EQ(lib().perceptual(tb.c_str(), black.c_str()), 3.125f);
    // The two halves differ in bits 1, 5, 8 and 40.
    EXPECT_EQ(lib().perceptual(lr.c_str(), tb.c_str()), 93.75f);
    EXPECT_EQ(lib().perceptual(tb.c_str(), lr.c_str()), 93.75f);
}

TEST(Perceptual, AllBlackImagesOfAnySizeScoreAHundred)
{
    const int sizes[][2] = {{1, 1}, {5, 3}, {31, 33}, {64, 64}, {100, 7}};
    std::string first = write_png("black-0.png", image(sizes[0][0], sizes[0][1]));
    for (int i = 1; i < 5; ++i) {
        std::string other = write_png("black-" + std::to_string(i) + ".png", image(sizes[i][0], sizes[i][1]));
        EXPECT_EQ(lib().perceptual(first.c_str(), other.c_str()), 100.0f) << sizes[i][0] << "x" << sizes[i][1];
    }
    // Transparency plays no part: transparent black is black.
    std::string clear = write_png("clear.png", image(4, 4, {0, 0, 0, 0}));
    EXPECT_EQ(lib().perceptual(first.c_str(), clear.c_str()), 100.0f);
}

TEST(Perceptual, ResizedAndReencodedCopiesScoreCloseToAHundred)
{
    std::string big = write_png("scene-big.png", scene(320, 200));
    std::string small = write_png("scene-small.png", scene(97, 61));
    std::string jpeg = fx::write("phash/scene.jpg", fx::jpg(scene(320, 200), 70));
    float resized = lib().perceptual(big.c_str(), small.c_str());
    float reencoded = lib().perceptual(big.c_str(), jpeg.c_str());
    EXPECT_GE(resized, 90.0f);
    EXPECT_GE(reencoded, 90.0f);
    EXPECT_EQ(lib().perceptual(small.c_str(), big.c_str()), resized);
    EXPECT_EQ(lib().perceptual(big.c_str(), big.c_str()), 100.0f);
}

TEST(Perceptual, SecondFileIsOpenedOnlyAfterTheFirstWasHashed)
{
    std::string good = write_png("good.png", four_colours());
    const std::string first = fx::path("phash/missing-1.png"), second = fx::path("phash/missing-2.png");
    EXPECT_EQ(lib().perceptual(first.c_str(), second.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + first + "': Unable to open file");
    EXPECT_EQ(lib().perceptual(good.c_str(), second.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '" + second + "': Unable to open file");
    EXPECT_EQ(lib().perceptual(nullptr, second.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to load '(null)': Unable to open file");
}

TEST(Perceptual, SuccessNeitherEmptiesNorWritesTheMessage)
{
    std::string good = write_png("keep.png", four_colours());
    EXPECT_EQ(lib().diff(good.c_str(), good.c_str(), ""), 0);
    EXPECT_EQ(lib().perceptual(good.c_str(), good.c_str()), 100.0f);
    EXPECT_EQ(error(), "Null or empty output image path");
    lib().init();
    EXPECT_EQ(lib().perceptual(good.c_str(), good.c_str()), 100.0f);
    EXPECT_EQ(error(), "");
}

TEST(Perceptual, ImageWithoutPixelsFailsCleanly)
{
    // A BMP whose header claims zero width: decoded, but nothing to sample.
    image one(1, 2);
    fx::bytes data = fx::bmp24(one);
    data[18] = data[19] = data[20] = data[21] = '\0';
    std::string empty = fx::write("phash/empty.bmp", data);
    std::string good = write_png("fine.png", four_colours());
    EXPECT_EQ(lib().perceptual(good.c_str(), empty.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to hash '" + empty + "': Image has zero width or height");
    EXPECT_EQ(lib().perceptual(empty.c_str(), good.c_str()), -1.0f);
    EXPECT_EQ(error(), "Failed to hash '" + empty + "': Image has zero width or height");
}

}  // namespace
