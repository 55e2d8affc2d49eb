// The perceptual hash itself. The library source is compiled into this test
// a second time so its internal functions can be reached; the module's export
// table stays at seven functions.
#include "../../src/ranvique.cpp"

#include <gtest/gtest.h>

#include <string>

#include "images.h"

using fx::four_colours;
using fx::halves;
using fx::image;

namespace {

uint64_t hash_of(const image &img, const std::string &name)
{
    std::string p = fx::write("internal/" + name + ".png", fx::png(img));
    uint64_t hash = 0xDEADBEEF;
    EXPECT_EQ(compute_phash(p.c_str(), &hash), 1) << s_last_error;
    return hash;
}

void grid_of(const image &img, double grid[32][32])
{
    sample_luminance(img.px.data(), img.w, img.h, grid);
}

// Luminance of a grey level as the sampler computes it.
double lum(int v)
{
    float f = static_cast<float>(v);
    return static_cast<double>((0.299f * f + 0.587f * f) + 0.114f * f);
}

TEST(Hash, FourColourImage)
{
    EXPECT_EQ(hash_of(four_colours(), "four"), 0xFFF9F9FFF99191F9ull);
    double grid[32][32], coeff[64];
    grid_of(four_colours(), grid);
    compute_coefficients(grid, coeff);
    EXPECT_EQ(coeff[0], 7647.927883863447);
}

TEST(Hash, HalvesShowOrientation)
{
    EXPECT_EQ(hash_of(halves(true), "left-right"), 0xFFFFFEFFFFFFFEFFull);
    EXPECT_EQ(hash_of(halves(false), "top-bottom"), 0xFFFFFFFFFFFFFFDDull);
    double grid[32][32], coeff[64];
    grid_of(halves(true), grid);
    compute_coefficients(grid, coeff);
    double mean = 0.0;
    for (int k = 1; k < 64; ++k) mean += coeff[k];
    mean /= 63.0;
    EXPECT_NEAR(mean, -168.4, 0.1);
    EXPECT_LT(coeff[8], mean);
    EXPECT_LT(coeff[40], mean);
}

TEST(Hash, AllBlackIsZeroAtAnySize)
{
    EXPECT_EQ(hash_of(image(1, 1), "black-1"), 0u);
    EXPECT_EQ(hash_of(image(13, 40), "black-13x40"), 0u);
    EXPECT_EQ(hash_of(image(96, 64), "black-96x64"), 0u);
}

TEST(Hash, FlatColourFillsTheGridExactlyAtMultiplesOf32)
{
    double grid[32][32];
    grid_of(image(64, 32, {90, 90, 90, 255}), grid);
    for (int i = 0; i < 32; ++i)
        for (int j = 0; j < 32; ++j) ASSERT_EQ(grid[i][j], lum(90));
    EXPECT_EQ(hash_of(image(64, 32, {90, 90, 90, 255}), "flat") & 1u, 1u);  // DC above the mean
}

// Grey ramp along one axis: pixel column (or row) c has grey level 3c + 1.
image ramp(int length, bool along_width)
{
    image img(along_width ? length : 1, along_width ? 1 : length);
    for (int c = 0; c < length; ++c) {
        uint8_t v = static_cast<uint8_t>(3 * c + 1);
        img.set(along_width ? c : 0, along_width ? 0 : c, {v, v, v, 255});
    }
    return img;
}

class NarrowSampling : public ::testing::TestWithParam<bool> {};

TEST_P(NarrowSampling, EightPixelsInterpolateAndTheLastFourReadTheEdge)
{
    const bool along_width = GetParam();
    double grid[32][32];
    grid_of(ramp(8, along_width), grid);
    auto at = [&](int k) { return along_width ? grid[5][k] : grid[k][5]; };
    for (int k = 0; k < 28; k += 4) EXPECT_EQ(at(k), lum(3 * (k / 4) + 1)) << k;
    for (int k = 28; k < 32; ++k) EXPECT_EQ(at(k), lum(22)) << k;
    // Between samples: weight (k mod 4) / 4 on the right-hand (lower) neighbour.
    float l0 = static_cast<float>(lum(1)), l1 = static_cast<float>(lum(4));
    EXPECT_EQ(at(1), static_cast<double>(l1 * 0.25f + l0 * 0.75f));
    EXPECT_EQ(at(2), static_cast<double>(l1 * 0.5f + l0 * 0.5f));
}

TEST_P(NarrowSampling, MultiplesOf32ReadEveryOtherPixelAlone)
{
    const bool along_width = GetParam();
    double grid[32][32];
    grid_of(ramp(64, along_width), grid);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(along_width ? grid[0][k] : grid[k][0], lum(3 * (2 * k) + 1)) << k;
}

TEST_P(NarrowSampling, PixelsPastTheLastSampleAreNeverRead)
{
    // With 100 pixels the last sample lies at 96.875: pixels 98 and 99 never count.
    const bool along_width = GetParam();
    image img(along_width ? 100 : 3, along_width ? 3 : 100);
    for (int k = 98; k < 100; ++k)
        for (int o = 0; o < 3; ++o) img.set(along_width ? k : o, along_width ? o : k, {255, 255, 255, 255});
    EXPECT_EQ(hash_of(img, along_width ? "wide-100" : "tall-100"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Hash, NarrowSampling, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "columns" : "rows"; });

TEST(Hash, FailureLeavesTheDestinationUnwritten)
{
    uint64_t hash = 42;
    EXPECT_EQ(compute_phash("/nonexistent/file.png", &hash), 0);
    EXPECT_EQ(hash, 42u);
    EXPECT_STREQ(s_last_error, "Failed to load '/nonexistent/file.png': Unable to open file");
}

}  // namespace
