// Bit-exactness of the fast paths: on many generated pairs (random bytes,
// worst-case differences, sparse differences, all-equal content, canvases
// that are not a multiple of the vector width), every answer of the module
// equals the answer of a straightforward reference computed here, pixel by
// pixel in the documented order: exact float scores, the stats text, every
// pixel of the difference image and the perceptual score.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host.h"
#include "images.h"

using fx::image;
using host::error;
using host::lib;

namespace {

// ---- references: the definitions, written as plainly as possible ----

struct reference_metrics {
    bool identical;
    float similarity;
    unsigned long long different;
};

reference_metrics reference_compare(const image &a, const image &b)
{
    double sum = 0.0;
    unsigned long long different = 0;
    bool equal = true;
    for (size_t i = 0; i < a.px.size(); i += 4) {
        int s = 0, m = 0;
        for (int c = 0; c < 4; ++c) {
            int d = std::abs(int(a.px[i + c]) - int(b.px[i + c]));
            s += d;
            m = d > m ? d : m;
            if (d) equal = false;
        }
        if (m > 2) ++different;
        sum += static_cast<double>(s) / 1020.0;
    }
    if (equal) return {true, 100.0f, 0};
    double mean = sum / static_cast<double>(a.px.size() / 4);
    float f = static_cast<float>((1.0 - mean) * 100.0);
    f = f < 0.0f ? 0.0f : (f > 100.0f ? 100.0f : f);
    return {false, f, different};
}

std::string reference_stats(const image &a, const image &b)
{
    reference_metrics m = reference_compare(a, b);
    char buf[200];
    std::snprintf(buf, sizeof buf, "{\"identical\":%s,\"similarity\":%.2f,\"different_pixels\":%llu,\"total_pixels\":%llu}",
                  m.identical ? "true" : "false", static_cast<double>(m.similarity), m.different,
                  static_cast<unsigned long long>(a.w) * static_cast<unsigned long long>(a.h));
    return buf;
}

image reference_difference(const image &a, const image &b)
{
    image out(a.w, a.h);
    for (size_t i = 0; i < a.px.size(); i += 4) {
        int m = 0;
        for (int c = 0; c < 4; ++c) {
            int d = std::abs(int(a.px[i + c]) - int(b.px[i + c]));
            m = d > m ? d : m;
        }
        uint8_t *o = &out.px[i];
        if (m <= 2) {
            double luma = (a.px[i] * 0.299 + a.px[i + 1] * 0.587) + a.px[i + 2] * 0.114;
            int lp = static_cast<int>(luma);
            uint8_t g = static_cast<uint8_t>(static_cast<int>(lp * 0.4 + 130.0));
            o[0] = o[1] = o[2] = g;
        } else {
            o[0] = 255;
            o[1] = 0;
            o[2] = 0;
        }
        o[3] = 255;
    }
    return out;
}

uint64_t reference_hash(const image &img)
{
    double grid[32][32];
    auto lum = [&](int r, int c) {
        const uint8_t *p = &img.px[(static_cast<size_t>(r) * img.w + c) * 4];
        float red = 0.299f * static_cast<float>(p[0]);
        float green = 0.587f * static_cast<float>(p[1]);
        float blue = 0.114f * static_cast<float>(p[2]);
        float rg = red + green;
        return rg + blue;
    };
    for (int i = 0; i < 32; ++i) {
        float y = (static_cast<float>(i) * static_cast<float>(img.h)) * 0.03125f;
        int y0 = static_cast<int>(y);
        float fy = y - static_cast<float>(y0);
        int y1 = y0 + 1 < img.h ? y0 + 1 : y0;
        for (int j = 0; j < 32; ++j) {
            float x = (static_cast<float>(j) * static_cast<float>(img.w)) * 0.03125f;
            int x0 = static_cast<int>(x);
            float fx = x - static_cast<float>(x0);
            int x1 = x0 + 1 < img.w ? x0 + 1 : x0;
            float gx = 1.0f - fx, gy = 1.0f - fy;
            float p11 = lum(y1, x1) * fx, p10 = lum(y1, x0) * gx;
            float p01 = lum(y0, x1) * fx, p00 = lum(y0, x0) * gx;
            float lower = p11 + p10, upper = p01 + p00;
            float lo = lower * fy, up = upper * gy;
            grid[i][j] = static_cast<double>(lo + up);
        }
    }
    const double pi = 3.141592653589793;
    double coeff[64];
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 8; ++b) {
            double s = 0.0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    double cx = std::cos(static_cast<double>((2 * x + 1) * a) * pi * 0.015625);
                    double cy = std::cos(static_cast<double>((2 * y + 1) * b) * pi * 0.015625);
                    double t = grid[y][x] * cx;
                    s += t * cy;
                }
            double ca = a == 0 ? 0.7071067811865475 : 1.0, cb = b == 0 ? 0.7071067811865475 : 1.0;
            coeff[8 * a + b] = (cb * (0.25 * ca)) * s;
        }
    double total = 0.0;
    for (int k = 1; k < 64; ++k) total += coeff[k];
    double mean = total / 63.0;
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k)
        if (coeff[k] > mean) bits |= uint64_t{1} << k;
    return bits;
}

float reference_perceptual(const image &a, const image &b)
{
    uint64_t x = reference_hash(a) ^ reference_hash(b);
    int d = 0;
    for (; x; x &= x - 1) ++d;
    return (1.0f - static_cast<float>(d) * 0.015625f) * 100.0f;
}

// ---- generated content ----

struct rng {
    uint64_t state;
    uint32_t next()
    {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
    }
    uint8_t byte() { return static_cast<uint8_t>(next()); }
};

image random_image(int w, int h, rng &r)
{
    image img(w, h);
    for (auto &v : img.px) v = r.byte();
    return img;
}

// Each byte moved by a small random amount (-4..4), clamped: every tolerance
// boundary and most small sums occur.
image nudged(const image &src, rng &r, int every = 1)
{
    image img = src;
    for (size_t i = 0; i < img.px.size(); i += 4) {
        if ((i / 4) % static_cast<size_t>(every)) continue;
        for (int c = 0; c < 4; ++c) {
            int v = img.px[i + c] + int(r.next() % 9) - 4;
            img.px[i + c] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    return img;
}

image inverted(const image &src)
{
    image img = src;
    for (auto &v : img.px) v = static_cast<uint8_t>(255 - v);
    return img;
}

struct generated_pair {
    image a, b;
};

// Kinds of pairs, each made at several sizes and seeds.
enum pair_kind {
    RANDOM_BOTH,          // unrelated random bytes
    RANDOM_NUDGED,        // small differences everywhere, around the tolerance
    SPARSE_NUDGED,        // every 7th pixel nudged: blocks mixing zero and nonzero terms
    ONE_PIXEL,            // a single pixel differs by 1 in one channel, at a random place
    WORST_CASE,           // black and white against their opposites: every term 1.0
    ALL_EQUAL,            // the same random bytes twice
    FLAT_EQUAL,           // one colour twice
    ALPHA_ONLY,           // only alpha differs, by a random amount
    HALF_EQUAL,           // first half equal, second half random: long zero runs then a chain
    KIND_COUNT
};

const char *kind_name(int k)
{
    static const char *names[] = {"random_both", "random_nudged", "sparse_nudged", "one_pixel", "worst_case",
                                  "all_equal",   "flat_equal",    "alpha_only",    "half_equal"};
    return names[k];
}

generated_pair make_pair(int kind, int w, int h, uint64_t seed)
{
    rng r{seed * 7919 + static_cast<uint64_t>(kind)};
    image a = random_image(w, h, r);
    switch (kind) {
    case RANDOM_BOTH: return {a, random_image(w, h, r)};
    case RANDOM_NUDGED: return {a, nudged(a, r)};
    case SPARSE_NUDGED: return {a, nudged(a, r, 7)};
    case ONE_PIXEL: {
        image b = a;
        size_t i = (r.next() % static_cast<uint32_t>(w * h)) * 4 + r.next() % 4;
        b.px[i] = static_cast<uint8_t>(b.px[i] == 255 ? 254 : b.px[i] + 1);
        return {a, b};
    }
    case WORST_CASE: {
        for (size_t i = 0; i < a.px.size(); ++i) a.px[i] = (r.next() & 1) ? 255 : 0;
        return {a, inverted(a)};
    }
    case ALL_EQUAL: return {a, a};
    case FLAT_EQUAL: {
        image f(w, h, {r.byte(), r.byte(), r.byte(), r.byte()});
        return {f, f};
    }
    case ALPHA_ONLY: {
        image b = a;
        for (size_t i = 3; i < b.px.size(); i += 4) b.px[i] = r.byte();
        return {a, b};
    }
    case HALF_EQUAL: {
        image b = a;
        for (size_t i = b.px.size() / 2; i < b.px.size(); ++i) b.px[i] = r.byte();
        return {a, b};
    }
    }
    return {a, a};
}

struct size_case {
    int w, h;
};

// Pixel counts below, at and around multiples of 16, odd shapes, and one
// larger canvas whose sum runs over a long chain.
const size_case kSizes[] = {{1, 1}, {3, 5}, {4, 4}, {17, 1}, {16, 2}, {31, 3}, {33, 17}, {64, 37}, {250, 161}};

struct exact_case {
    int kind;
    size_case size;
    uint64_t seed;
};

void PrintTo(const exact_case &c, std::ostream *os)
{
    *os << kind_name(c.kind) << "_" << c.size.w << "x" << c.size.h << "_" << c.seed;
}

std::vector<exact_case> all_cases()
{
    std::vector<exact_case> cases;
    for (int k = 0; k < KIND_COUNT; ++k)
        for (const size_case &s : kSizes)
            for (uint64_t seed = 1; seed <= 2; ++seed) cases.push_back({k, s, seed});
    return cases;
}

class Exactness : public ::testing::TestWithParam<exact_case> {};

TEST_P(Exactness, EveryAnswerEqualsTheReference)
{
    const exact_case &c = GetParam();
    generated_pair p = make_pair(c.kind, c.size.w, c.size.h, c.seed);
    std::string tag = std::string("exact/") + kind_name(c.kind) + "-" + std::to_string(c.size.w) + "x" +
                      std::to_string(c.size.h) + "-" + std::to_string(c.seed);
    std::string pa = fx::write(tag + "-a.png", fx::png(p.a));
    std::string pb = fx::write(tag + "-b.png", fx::png(p.b));

    const reference_metrics ref = reference_compare(p.a, p.b);
    const float score = lib().similarity(pa.c_str(), pb.c_str());
    EXPECT_EQ(score, ref.similarity) << "score " << score << " reference " << ref.similarity;
    const char *text = lib().stats(pa.c_str(), pb.c_str());
    ASSERT_NE(text, nullptr) << error();
    EXPECT_EQ(std::string(text), reference_stats(p.a, p.b));

    const image expected = reference_difference(p.a, p.b);
    for (const char *ext : {".png", ".bmp"}) {
        std::string out = fx::path(tag + "-diff" + ext);
        ASSERT_EQ(lib().diff(pa.c_str(), pb.c_str(), out.c_str()), 1) << error();
        image got;
        ASSERT_TRUE(fx::decode(out, got)) << out;
        ASSERT_EQ(got.w, expected.w);
        ASSERT_EQ(got.h, expected.h);
        EXPECT_TRUE(got.px == expected.px) << ext << ": difference image pixels differ from the reference";
        EXPECT_EQ(static_cast<unsigned long long>(fx::count_red(got)), ref.different);
    }

    EXPECT_EQ(lib().perceptual(pa.c_str(), pb.c_str()), reference_perceptual(p.a, p.b));
}

INSTANTIATE_TEST_SUITE_P(Generated, Exactness, ::testing::ValuesIn(all_cases()),
                         [](const auto &info) {
                             const exact_case &c = info.param;
                             return std::string(kind_name(c.kind)) + "_" + std::to_string(c.size.w) + "x" +
                                    std::to_string(c.size.h) + "_" + std::to_string(c.seed);
                         });

// Every possible per-pixel sum 0..1020 once, in one image whose other pixels
// match: the score carries the sum of all 1,021 terms in pixel order.
TEST(Exactness, EveryPossibleTermInOneChain)
{
    const int count = 1021;
    image a(count, 3, {0, 0, 0, 0}), b(count, 3, {0, 0, 0, 0});
    for (int s = 0; s < count; ++s) {
        int left = s;
        uint8_t ch[4];
        for (int c = 0; c < 4; ++c) {
            ch[c] = static_cast<uint8_t>(left > 255 ? 255 : left);
            left -= ch[c];
        }
        b.set(s, 1, {ch[0], ch[1], ch[2], ch[3]});
        // A third row with the sums in reverse order and the values swapped.
        a.set(count - 1 - s, 2, {ch[3], ch[2], ch[1], ch[0]});
    }
    std::string pa = fx::write("exact/terms-a.png", fx::png(a));
    std::string pb = fx::write("exact/terms-b.png", fx::png(b));
    EXPECT_EQ(lib().similarity(pa.c_str(), pb.c_str()), reference_compare(a, b).similarity);
    EXPECT_EQ(std::string(lib().stats(pa.c_str(), pb.c_str())), reference_stats(a, b));
}

// Every grey level of the difference image: all 2^18 combinations of the
// six high bits of R, G and B (and the low bits walked), each matched.
TEST(Exactness, GreyLevelsOfManyColours)
{
    image a(512, 512);
    rng r{42};
    for (int i = 0; i < 512 * 512; ++i) {
        uint8_t red = static_cast<uint8_t>((i & 63) << 2 | (r.next() & 3));
        uint8_t green = static_cast<uint8_t>(((i >> 6) & 63) << 2 | (r.next() & 3));
        uint8_t blue = static_cast<uint8_t>(((i >> 12) & 63) << 2 | (r.next() & 3));
        a.set(i % 512, i / 512, {red, green, blue, r.byte()});
    }
    image b = nudged(a, r, 3);
    std::string pa = fx::write("exact/grey-a.png", fx::png(a));
    std::string pb = fx::write("exact/grey-b.png", fx::png(b));
    std::string out = fx::path("exact/grey-diff.png");
    ASSERT_EQ(lib().diff(pa.c_str(), pb.c_str(), out.c_str()), 1) << error();
    image got;
    ASSERT_TRUE(fx::decode(out, got));
    EXPECT_TRUE(got.px == reference_difference(a, b).px);
    EXPECT_EQ(lib().similarity(pa.c_str(), pb.c_str()), reference_compare(a, b).similarity);
}

}  // namespace
