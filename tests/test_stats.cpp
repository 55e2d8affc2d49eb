// Statistics report: the exact JSON text and the life of the buffer behind it.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "host.h"
#include "images.h"

using fx::image;
using host::error;
using host::lib;

namespace {

struct stats_case {
    const char *name;
    int w, h;
    // Pixels of the secondary that differ from an all-grey primary: (index, R, G, B, A).
    std::vector<std::array<int, 5>> changes;
    const char *text;
};

void PrintTo(const stats_case &c, std::ostream *os) { *os << c.name; }

const stats_case kCases[] = {
    // 20 x 10, seven pixels outside the tolerance, score 97.5.
    {"seven_of_two_hundred",
     20,
     10,
     {{0, 255, 255, 255, 255}, {1, 255, 255, 255, 255}, {2, 255, 255, 255, 255}, {3, 255, 255, 255, 255},
      {50, 255, 85, 0, 0}, {51, 255, 85, 0, 0}, {52, 255, 85, 0, 0}},
     "{\"identical\":false,\"similarity\":97.50,\"different_pixels\":7,\"total_pixels\":200}"},
    {"identical", 20, 10, {}, "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":200}"},
    // Scores that are exact halves at two decimals round to the even digit.
    {"half_rounds_down_to_even", 8, 5, {{3, 255, 102, 0, 0}},
     "{\"identical\":false,\"similarity\":99.12,\"different_pixels\":1,\"total_pixels\":40}"},
    {"half_rounds_up_to_even", 8, 5, {{3, 255, 0, 0, 0}},
     "{\"identical\":false,\"similarity\":99.38,\"different_pixels\":1,\"total_pixels\":40}"},
    // Within tolerance everywhere but not byte-equal: 100.00 yet not identical.
    {"within_tolerance_prints_100", 100, 100, {{0, 1, 0, 0, 0}},
     "{\"identical\":false,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":10000}"},
};

class StatsText : public ::testing::TestWithParam<stats_case> {};

TEST_P(StatsText, IsExact)
{
    const stats_case &c = GetParam();
    // Primary: transparent black; each change adds (R, G, B, A) to one pixel.
    image a(c.w, c.h, {0, 0, 0, 0}), b = a;
    for (const auto &ch : c.changes) b.set(ch[0] % c.w, ch[0] / c.w, {uint8_t(ch[1]), uint8_t(ch[2]), uint8_t(ch[3]), uint8_t(ch[4])});
    std::string pa = fx::write(std::string("stats/") + c.name + "-a.png", fx::png(a));
    std::string pb = fx::write(std::string("stats/") + c.name + "-b.png", fx::png(b));
    const char *text = lib().stats(pa.c_str(), pb.c_str());
    ASSERT_NE(text, nullptr) << error();
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(error(), "");
}

INSTANTIATE_TEST_SUITE_P(Stats, StatsText, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Stats, WorkedExampleScoreIsExactly97Point5)
{
    image a(20, 10, {0, 0, 0, 0}), b = a;
    for (int i = 0; i < 4; ++i) b.set(i, 0, {255, 255, 255, 255});
    for (int i = 0; i < 3; ++i) b.set(10 + i, 2, {255, 85, 0, 0});
    std::string pa = fx::write("stats/worked-a.png", fx::png(a));
    std::string pb = fx::write("stats/worked-b.png", fx::png(b));
    EXPECT_EQ(lib().similarity(pa.c_str(), pb.c_str()), 97.5f);
}

TEST(Stats, HalfwayScoresAreExactHalves)
{
    // The rounding cases above only test rounding if the scores are exact halves.
    image a(8, 5, {0, 0, 0, 0}), b = a, c = a;
    b.set(3, 0, {255, 102, 0, 0});
    c.set(3, 0, {255, 0, 0, 0});
    std::string pa = fx::write("stats/half-a.png", fx::png(a));
    std::string pb = fx::write("stats/half-b.png", fx::png(b));
    std::string pc = fx::write("stats/half-c.png", fx::png(c));
    EXPECT_EQ(lib().similarity(pa.c_str(), pb.c_str()), 99.125f);
    EXPECT_EQ(lib().similarity(pa.c_str(), pc.c_str()), 99.375f);
}

TEST(Stats, ReturnsTheSameBufferEveryTime)
{
    std::string a = fx::write("stats/same-a.png", fx::png(image(2, 2)));
    std::string b = fx::write("stats/same-b.png", fx::png(image(3, 3, {255, 255, 255, 255})));
    const char *first = lib().stats(a.c_str(), a.c_str());
    const char *second = lib().stats(a.c_str(), b.c_str());
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "{\"identical\":false,\"similarity\":25.00,\"different_pixels\":4,\"total_pixels\":4}");
    EXPECT_STREQ(lib().stats(b.c_str(), a.c_str()),
                 "{\"identical\":false,\"similarity\":25.00,\"different_pixels\":9,\"total_pixels\":9}");
}

TEST(Stats, FailuresReturnNullWithTheirMessageAndKeepTheText)
{
    std::string a = fx::write("stats/keep.png", fx::png(image(2, 1)));
    const char *text = lib().stats(a.c_str(), a.c_str());
    ASSERT_NE(text, nullptr);
    const std::string kept = text;

    EXPECT_EQ(lib().stats(a.c_str(), nullptr), nullptr);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_EQ(lib().stats(nullptr, a.c_str()), nullptr);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_EQ(lib().stats(a.c_str(), ""), nullptr);
    EXPECT_EQ(error(), "Failed to load '': Unable to open file");
    EXPECT_EQ(std::string(text), kept);

    lib().cleanup();
    EXPECT_STREQ(text, "");
    EXPECT_EQ(lib().stats(a.c_str(), "/nonexistent"), nullptr);
    EXPECT_STREQ(text, "");
}

}  // namespace
