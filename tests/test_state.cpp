// Library state: the last-error text, the statistics text, init and cleanup.
#include <gtest/gtest.h>

#include <string>

#include "host.h"
#include "images.h"

using host::error;
using host::lib;

namespace {

std::string white_png()
{
    return fx::write("state/white.png", fx::png(fx::image(4, 3, {255, 255, 255, 255})));
}

std::string black_png()
{
    return fx::write("state/black.png", fx::png(fx::image(4, 3, {0, 0, 0, 255})));
}

}  // namespace

TEST(State, LastErrorIsEmptyAndStableRightAfterLoading)
{
    const char *first = lib().last_error();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "");
    EXPECT_EQ(lib().last_error(), first);
    lib().similarity(nullptr, nullptr);
    EXPECT_EQ(lib().last_error(), first);
}

TEST(State, InitReturnsOneEveryTimeAndEmptiesTheMessage)
{
    EXPECT_EQ(lib().similarity(nullptr, "x"), -1.0f);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lib().init(), 1);
    EXPECT_EQ(error(), "");
}

TEST(State, SuccessfulPixelCallEmptiesAnEarlierMessage)
{
    std::string a = white_png();
    EXPECT_EQ(lib().similarity("missing.png", a.c_str()), -1.0f);
    EXPECT_NE(error(), "");
    EXPECT_EQ(lib().similarity(a.c_str(), a.c_str()), 100.0f);
    EXPECT_EQ(error(), "");
}

TEST(State, SuccessfulPerceptualCallKeepsAnEarlierMessage)
{
    std::string a = white_png();
    EXPECT_EQ(lib().similarity(nullptr, a.c_str()), -1.0f);
    EXPECT_EQ(lib().perceptual(a.c_str(), a.c_str()), 100.0f);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
}

TEST(State, MessagesReplaceEachOtherAndNeverAccumulate)
{
    EXPECT_EQ(lib().similarity("/nonexistent/one.png", "b"), -1.0f);
    EXPECT_EQ(lib().similarity(nullptr, nullptr), -1.0f);
    EXPECT_EQ(error(), "Null image path or metrics pointer");
    EXPECT_EQ(lib().similarity("/nonexistent/two.png", "b"), -1.0f);
    EXPECT_EQ(error(), "Failed to load '/nonexistent/two.png': Unable to open file");
}

TEST(State, CleanupEmptiesTheStatsTextInPlaceAndInitDoesNot)
{
    std::string a = white_png(), b = black_png();
    const char *text = lib().stats(a.c_str(), b.c_str());
    ASSERT_NE(text, nullptr);
    const std::string report = text;
    EXPECT_EQ(report, "{\"identical\":false,\"similarity\":25.00,\"different_pixels\":12,\"total_pixels\":12}");
    EXPECT_EQ(lib().init(), 1);
    EXPECT_EQ(std::string(text), report);
    lib().cleanup();
    EXPECT_STREQ(text, "");
    EXPECT_EQ(error(), "");
}

TEST(State, FailedStatsKeepsThePreviousText)
{
    std::string a = white_png();
    const char *text = lib().stats(a.c_str(), a.c_str());
    ASSERT_NE(text, nullptr);
    const std::string report = text;
    EXPECT_EQ(lib().stats(a.c_str(), "/nonexistent.png"), nullptr);
    EXPECT_EQ(lib().stats(nullptr, a.c_str()), nullptr);
    EXPECT_EQ(std::string(text), report);
    EXPECT_EQ(lib().stats(a.c_str(), a.c_str()), text);
}

TEST(State, LongPathMessageIsCutAt1023Characters)
{
    std::string path = "/nonexistent/";
    while (path.size() < 2000) path += 'p';
    EXPECT_EQ(lib().similarity(path.c_str(), path.c_str()), -1.0f);
    const std::string message = error();
    ASSERT_EQ(message.size(), 1023u);
    EXPECT_EQ(message, "Failed to load '" + path.substr(0, 1007));
}

TEST(State, CleanupAndInitBeforeAnyOtherCallThenEverythingWorks)
{
    lib().cleanup();
    EXPECT_EQ(lib().init(), 1);
    lib().cleanup();
    std::string a = white_png(), b = black_png();
    EXPECT_EQ(lib().similarity(a.c_str(), b.c_str()), 25.0f);
    EXPECT_NE(lib().stats(a.c_str(), a.c_str()), nullptr);
    EXPECT_EQ(lib().diff(a.c_str(), b.c_str(), fx::path("state-diff.png").c_str()), 1);
    EXPECT_EQ(lib().perceptual(a.c_str(), a.c_str()), 100.0f);
    EXPECT_EQ(error(), "");
}
