/* A host program that loads the library at run time (LoadLibraryA and
 * GetProcAddress on Windows, dlopen and dlsym elsewhere) and checks a table
 * of exact results: scores, statistics texts, messages, the grey levels of
 * the difference image and perceptual scores of images with known hashes.
 *
 * The same table runs against the Linux shared object in the main test suite
 * and against the Windows DLL under Wine, so every value below holds on both.
 *
 * usage: ranvique_host_check MODULE
 * Fixtures are written into ./fixtures (relative to the working folder), and
 * every path handed to the library is relative, so the messages are the
 * same texts on both systems. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#endif

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

/* ---- the module ---- */

typedef void (*any_fn)(void);
typedef float (*score_fn)(const char *, const char *);

struct api {
    int (*init)(void);
    void (*cleanup)(void);
    const char *(*last_error)(void);
    score_fn similarity;
    const char *(*stats)(const char *, const char *);
    int (*diff)(const char *, const char *, const char *);
    score_fn perceptual;
};

#if defined(_WIN32)
typedef HMODULE module_handle;
static module_handle open_module(const char *path) { return LoadLibraryA(path); }
static void close_module(module_handle m) { FreeLibrary(m); }
static any_fn find_export(module_handle m, const char *name) { return (any_fn)GetProcAddress(m, name); }
#else
typedef void *module_handle;
static module_handle open_module(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void close_module(module_handle m) { dlclose(m); }
static any_fn find_export(module_handle m, const char *name)
{
    void *p = dlsym(m, name);
    any_fn f;
    memcpy(&f, &p, sizeof f);
    return f;
}
#endif

static module_handle g_module;
static struct api lib;

static int load_api(const char *path)
{
    g_module = open_module(path);
    if (!g_module) return 0;
    any_fn f[7];
    static const char *const names[7] = {"ranvique_init",  "ranvique_cleanup", "ranvique_last_error",
                                         "ranvique_similarity", "ranvique_stats", "ranvique_diff",
                                         "ranvique_perceptual"};
    for (int i = 0; i < 7; ++i) {
        f[i] = find_export(g_module, names[i]);
        if (!f[i]) {
            fprintf(stderr, "export %s not found\n", names[i]);
            return 0;
        }
    }
    lib.init = (int (*)(void))f[0];
    lib.cleanup = (void (*)(void))f[1];
    lib.last_error = (const char *(*)(void))f[2];
    lib.similarity = (score_fn)f[3];
    lib.stats = (const char *(*)(const char *, const char *))f[4];
    lib.diff = (int (*)(const char *, const char *, const char *))f[5];
    lib.perceptual = (score_fn)f[6];
    return 1;
}

/* ---- checks ---- */

static int g_passed, g_failed;

static void check_float(const char *what, float got, float want)
{
    if (got == want) {
        ++g_passed;
    } else {
        ++g_failed;
        printf("FAIL %s: got %.9g, want %.9g\n", what, (double)got, (double)want);
    }
}

static void check_int(const char *what, long long got, long long want)
{
    if (got == want) {
        ++g_passed;
    } else {
        ++g_failed;
        printf("FAIL %s: got %lld, want %lld\n", what, got, want);
    }
}

static void check_hash(const char *what, unsigned long long got, unsigned long long want)
{
    if (got == want) {
        ++g_passed;
    } else {
        ++g_failed;
        printf("FAIL %s: got 0x%016llx, want 0x%016llx\n", what, got, want);
    }
}

static void check_text(const char *what, const char *got, const char *want)
{
    if (got && want ? strcmp(got, want) == 0 : got == want) {
        ++g_passed;
    } else {
        ++g_failed;
        printf("FAIL %s:\n  got  %s\n  want %s\n", what, got ? got : "(NULL)", want ? want : "(NULL)");
    }
}

static void check_error(const char *what, const char *want) { check_text(what, lib.last_error(), want); }

/* ---- fixtures ---- */

struct image {
    int w, h;
    unsigned char *px;
};

static struct image new_image(int w, int h)
{
    struct image img;
    img.w = w;
    img.h = h;
    img.px = (unsigned char *)calloc((size_t)w * (size_t)h * 4, 1);
    if (!img.px) abort();
    return img;
}

static unsigned char *pixel(struct image *img, int x, int y) { return img->px + ((size_t)y * img->w + x) * 4; }

static void set_pixel(struct image *img, int x, int y, int r, int g, int b, int a)
{
    unsigned char *p = pixel(img, x, y);
    p[0] = (unsigned char)r;
    p[1] = (unsigned char)g;
    p[2] = (unsigned char)b;
    p[3] = (unsigned char)a;
}

static void fill(struct image *img, int x0, int y0, int x1, int y1, int r, int g, int b)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) set_pixel(img, x, y, r, g, b, 255);
}

static struct image copy_image(const struct image *src)
{
    struct image img = new_image(src->w, src->h);
    memcpy(img.px, src->px, (size_t)src->w * (size_t)src->h * 4);
    return img;
}

static void need(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "cannot write fixture %s\n", what);
        exit(2);
    }
}

static const char *save_png(const char *path, const struct image *img)
{
    need(stbi_write_png(path, img->w, img->h, 4, img->px, img->w * 4), path);
    return path;
}

static void save_bytes(const char *path, const void *data, size_t size)
{
    FILE *f = fopen(path, "wb");
    need(f != NULL, path);
    need(fwrite(data, 1, size, f) == size, path);
    need(fclose(f) == 0, path);
}

/* Reads a whole file; the caller frees. */
static unsigned char *read_file(const char *path, size_t *size)
{
    FILE *f = fopen(path, "rb");
    if (!f) return NULL;
    size_t cap = 1 << 16, n = 0;
    unsigned char *buf = (unsigned char *)malloc(cap);
    size_t got;
    while (buf && (got = fread(buf + n, 1, cap - n, f)) > 0) {
        n += got;
        if (n == cap) {
            unsigned char *bigger = (unsigned char *)realloc(buf, cap * 2);
            if (!bigger) free(buf);
            buf = bigger;
            cap *= 2;
        }
    }
    fclose(f);
    *size = n;
    return buf;
}

/* FNV-1a over a file's bytes: pins encoder output without storing it. */
static unsigned long long file_fnv1a(const char *path)
{
    size_t n = 0;
    unsigned char *data = read_file(path, &n);
    if (!data) return 0;
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < n; ++i) {
        h ^= data[i];
        h *= 1099511628211ull;
    }
    free(data);
    return (unsigned long long)h;
}

static unsigned lcg_state;
static int lcg_next(void)
{
    lcg_state = lcg_state * 1103515245u + 12345u;
    return (int)((lcg_state >> 16) & 0xff);
}

/* Colour bands with noise: an image of some structure whose hash has bits
 * of every kind. */
static struct image noisy_scene(int w, int h, unsigned seed, int band)
{
    struct image img = new_image(w, h);
    lcg_state = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int n = lcg_next() % 32;
            int r = (x * 200) / w + n, g = (y * 180) / h + n, b = ((x + y) % band) * 8 + n;
            set_pixel(&img, x, y, r > 255 ? 255 : r, g > 255 ? 255 : g, b > 255 ? 255 : b, 255);
        }
    return img;
}

static void make_folder(const char *path)
{
#if defined(_WIN32)
    _mkdir(path);
#else
    mkdir(path, 0777);
#endif
}

/* ---- the table ---- */

/* Scores whose two-decimal rounding is an exact half: an 8 x 5 image against
 * a copy with pixel 0 changed. The summed channel difference D gives the
 * score (1 - D / (1020 * 40)) * 100, which as a float is exactly 99.625,
 * 99.125 or 99.875. Ties go to the even digit: 99.62, 99.12, 99.88. */
struct half_case {
    const char *name;
    int r, g; /* pixel 0 of the secondary; the primary's is black */
    float score;
    const char *stats;
};

static const struct half_case half_cases[] = {
    {"fixtures/half-99.625.png", 153, 0, 99.625f,
     "{\"identical\":false,\"similarity\":99.62,\"different_pixels\":1,\"total_pixels\":40}"},
    {"fixtures/half-99.125.png", 255, 102, 99.125f,
     "{\"identical\":false,\"similarity\":99.12,\"different_pixels\":1,\"total_pixels\":40}"},
    {"fixtures/half-99.875.png", 51, 0, 99.875f,
     "{\"identical\":false,\"similarity\":99.88,\"different_pixels\":1,\"total_pixels\":40}"},
};

/* Grey levels of the difference image for matching pixels of these colours. */
struct grey_case {
    int r, g, b, grey;
};

static const struct grey_case grey_cases[] = {
    {0, 0, 0, 130},       {1, 1, 1, 130},       {3, 3, 3, 131},     {127, 127, 127, 180},
    {128, 128, 128, 180}, {129, 129, 129, 181}, {254, 254, 254, 231}, {255, 255, 255, 232},
    {255, 0, 0, 160},     {0, 255, 0, 189},     {0, 0, 255, 141},   {200, 100, 50, 179},
};
#define GREY_COUNT ((int)(sizeof grey_cases / sizeof grey_cases[0]))

static int nudge(int v) { return v <= 253 ? v + 2 : v - 2; }

static void check_pixel_answers(void)
{
    struct image base = new_image(8, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x) set_pixel(&base, x, y, x * 30, y * 50, (x + y) * 20, 255);
    set_pixel(&base, 0, 0, 0, 0, 0, 255);
    save_png("fixtures/base.png", &base);
    need(stbi_write_bmp("fixtures/base.bmp", base.w, base.h, 4, base.px), "base.bmp");

    check_float("similarity same file", lib.similarity("fixtures/base.png", "fixtures/base.png"), 100.0f);
    check_error("no message after success", "");
    check_text("stats same file", lib.stats("fixtures/base.png", "fixtures/base.png"),
               "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":40}");
    check_text("stats PNG against BMP of the same pixels", lib.stats("fixtures/base.png", "fixtures/base.bmp"),
               "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":40}");

    for (size_t i = 0; i < sizeof half_cases / sizeof half_cases[0]; ++i) {
        const struct half_case *c = &half_cases[i];
        struct image other = copy_image(&base);
        set_pixel(&other, 0, 0, c->r, c->g, 0, 255);
        save_png(c->name, &other);
        free(other.px);
        char what[128];
        snprintf(what, sizeof what, "similarity %s", c->name);
        check_float(what, lib.similarity("fixtures/base.png", c->name), c->score);
        snprintf(what, sizeof what, "stats %s", c->name);
        check_text(what, lib.stats("fixtures/base.png", c->name), c->stats);
    }

    /* The values below (resampling, JPEG decoding, the encoders' bytes, the
     * hashes of noisy images) come from no closed formula: they are what the
     * Linux build gives, pinned so that both builds must agree exactly. */

    /* A secondary of another size is resampled onto the primary's canvas. */
    struct image big = noisy_scene(19, 13, 7u, 5);
    save_png("fixtures/scene-19x13.png", &big);
    struct image small = noisy_scene(8, 5, 7u, 5);
    save_png("fixtures/scene-8x5.png", &small);
    check_float("similarity resampled", lib.similarity("fixtures/scene-8x5.png", "fixtures/scene-19x13.png"),
                96.0098038f);
    check_text("stats resampled", lib.stats("fixtures/scene-8x5.png", "fixtures/scene-19x13.png"),
               "{\"identical\":false,\"similarity\":96.01,\"different_pixels\":40,\"total_pixels\":40}");

    /* JPEG decoding (the decoder's SIMD path) against the PNG of the pixels. */
    struct image photo = noisy_scene(48, 40, 99u, 9);
    save_png("fixtures/photo.png", &photo);
    need(stbi_write_jpg("fixtures/photo.jpg", photo.w, photo.h, 4, photo.px, 90), "photo.jpg");
    check_hash("fixture photo.jpg bytes", file_fnv1a("fixtures/photo.jpg"), 0x974166a1242c5bdeull);
    check_float("similarity JPEG against PNG", lib.similarity("fixtures/photo.png", "fixtures/photo.jpg"),
                98.3769913f);
    check_text("stats JPEG against PNG", lib.stats("fixtures/photo.png", "fixtures/photo.jpg"),
               "{\"identical\":false,\"similarity\":98.38,\"different_pixels\":1771,\"total_pixels\":1920}");

    /* 16-bit PGM: each sample becomes its high byte. */
    static const unsigned char pgm16[] = {'P', '5', '\n', '2', ' ', '1', '\n', '6', '5', '5', '3', '5', '\n',
                                          0x12, 0x34, 0xFE, 0x01};
    save_bytes("fixtures/wide.pgm", pgm16, sizeof pgm16);
    struct image wide = new_image(2, 1);
    set_pixel(&wide, 0, 0, 0x12, 0x12, 0x12, 255);
    set_pixel(&wide, 1, 0, 0xFE, 0xFE, 0xFE, 255);
    save_png("fixtures/wide.png", &wide);
    check_text("stats 16-bit PGM", lib.stats("fixtures/wide.pgm", "fixtures/wide.png"),
               "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":2}");

    free(base.px);
    free(big.px);
    free(small.px);
    free(photo.px);
    free(wide.px);
}

/* Reads the 32-bit BMP the library writes: 14 + 108 header bytes, rows
 * bottom-up, each pixel B, G, R, A. Returns 0 if the layout is not that. */
static unsigned long long rgba_word(const unsigned char *p)
{
    return (unsigned long long)p[0] << 24 | (unsigned long long)p[1] << 16 | (unsigned long long)p[2] << 8 | p[3];
}

static int read_bmp32(const char *path, struct image *out)
{
    size_t n = 0;
    unsigned char *d = read_file(path, &n);
    if (!d || n < 122 || d[0] != 'B' || d[1] != 'M') {
        free(d);
        return 0;
    }
    unsigned offset = d[10] | d[11] << 8 | d[12] << 16 | (unsigned)d[13] << 24;
    int w = d[18] | d[19] << 8, h = d[22] | d[23] << 8, bpp = d[28];
    if (bpp != 32 || offset + (size_t)w * h * 4 > n) {
        free(d);
        return 0;
    }
    *out = new_image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char *p = d + offset + ((size_t)(h - 1 - y) * w + x) * 4;
            set_pixel(out, x, y, p[2], p[1], p[0], p[3]);
        }
    free(d);
    return 1;
}

static void check_difference_image(void)
{
    /* Row 0 matches (every channel off by 2 at most), row 1 differs by 3 in
     * alpha alone: grey levels above, pure red below. */
    struct image a = new_image(GREY_COUNT, 2), b = new_image(GREY_COUNT, 2), want = new_image(GREY_COUNT, 2);
    for (int i = 0; i < GREY_COUNT; ++i) {
        const struct grey_case *c = &grey_cases[i];
        set_pixel(&a, i, 0, c->r, c->g, c->b, 255);
        set_pixel(&b, i, 0, nudge(c->r), nudge(c->g), nudge(c->b), 253);
        set_pixel(&a, i, 1, c->r, c->g, c->b, 255);
        set_pixel(&b, i, 1, c->r, c->g, c->b, 252);
        set_pixel(&want, i, 0, c->grey, c->grey, c->grey, 255);
        set_pixel(&want, i, 1, 255, 0, 0, 255);
    }
    save_png("fixtures/greys-a.png", &a);
    save_png("fixtures/greys-b.png", &b);
    save_png("fixtures/greys-want.png", &want);
    check_text("stats grey pair", lib.stats("fixtures/greys-a.png", "fixtures/greys-b.png"),
               "{\"identical\":false,\"similarity\":99.46,\"different_pixels\":12,\"total_pixels\":24}");

    check_int("diff BMP written", lib.diff("fixtures/greys-a.png", "fixtures/greys-b.png", "fixtures/diff.bmp"), 1);
    check_error("no message after diff", "");
    struct image got;
    if (read_bmp32("fixtures/diff.bmp", &got)) {
        check_int("diff BMP width", got.w, GREY_COUNT);
        check_int("diff BMP height", got.h, 2);
        for (int i = 0; i < GREY_COUNT; ++i) {
            char what[96];
            const struct grey_case *c = &grey_cases[i];
            snprintf(what, sizeof what, "grey level of %d,%d,%d", c->r, c->g, c->b);
            const unsigned char *p = pixel(&got, i, 0);
            check_hash(what, rgba_word(p), 0x01010100ull * (unsigned)c->grey + 255);
            snprintf(what, sizeof what, "red for alpha off by 3 at %d,%d,%d", c->r, c->g, c->b);
            p = pixel(&got, i, 1);
            check_hash(what, rgba_word(p), 0xFF0000FFull);
        }
        free(got.px);
    } else {
        check_int("diff BMP is 32-bit BMP", 0, 1);
    }
    check_hash("diff BMP bytes", file_fnv1a("fixtures/diff.bmp"), 0x18319d35876ec3e2ull);

    check_int("diff PNG written", lib.diff("fixtures/greys-a.png", "fixtures/greys-b.png", "fixtures/diff.PNG"), 1);
    check_text("diff PNG pixels", lib.stats("fixtures/diff.PNG", "fixtures/greys-want.png"),
               "{\"identical\":true,\"similarity\":100.00,\"different_pixels\":0,\"total_pixels\":24}");
    check_int("diff JPEG written", lib.diff("fixtures/greys-a.png", "fixtures/greys-b.png", "fixtures/diff.Jpeg"), 1);
    check_hash("diff JPEG bytes", file_fnv1a("fixtures/diff.Jpeg"), 0x7138589f17a8303cull);
    check_text("diff JPEG against the exact pixels", lib.stats("fixtures/diff.Jpeg", "fixtures/greys-want.png"),
               "{\"identical\":false,\"similarity\":84.55,\"different_pixels\":24,\"total_pixels\":24}");

    free(a.px);
    free(b.px);
    free(want.px);
}

static void check_perceptual(void)
{
    /* Known hashes: all black 0; left black / right white FFFFFEFFFFFFFEFF;
     * top black / bottom white FFFFFFFFFFFFFFDD; the 2 x 2 image of black,
     * red, green and blue FFF9F9FFF99191F9. Against black a score tells the
     * number of set bits, against each other the distance. */
    struct image black = new_image(64, 64), black_small = new_image(7, 3);
    fill(&black, 0, 0, 64, 64, 0, 0, 0);
    fill(&black_small, 0, 0, 7, 3, 0, 0, 0);
    struct image lr = new_image(64, 64), tb = new_image(64, 64), quad = new_image(2, 2);
    fill(&lr, 0, 0, 32, 64, 0, 0, 0);
    fill(&lr, 32, 0, 64, 64, 255, 255, 255);
    fill(&tb, 0, 0, 64, 32, 0, 0, 0);
    fill(&tb, 0, 32, 64, 64, 255, 255, 255);
    set_pixel(&quad, 0, 0, 0, 0, 0, 255);
    set_pixel(&quad, 1, 0, 255, 0, 0, 255);
    set_pixel(&quad, 0, 1, 0, 255, 0, 255);
    set_pixel(&quad, 1, 1, 0, 0, 255, 255);
    save_png("fixtures/black.png", &black);
    save_png("fixtures/black-7x3.png", &black_small);
    save_png("fixtures/left-right.png", &lr);
    save_png("fixtures/top-bottom.png", &tb);
    save_png("fixtures/quad.png", &quad);

    struct {
        const char *a, *b;
        float score;
    } const cases[] = {
        {"fixtures/black.png", "fixtures/black-7x3.png", 100.0f},
        {"fixtures/left-right.png", "fixtures/left-right.png", 100.0f},
        {"fixtures/left-right.png", "fixtures/top-bottom.png", 93.75f},
        {"fixtures/left-right.png", "fixtures/black.png", 3.125f},   /* 62 bits set */
        {"fixtures/top-bottom.png", "fixtures/black.png", 3.125f},   /* 62 bits set */
        {"fixtures/quad.png", "fixtures/black.png", 28.125f},        /* 46 bits set */
        {"fixtures/quad.png", "fixtures/left-right.png", 68.75f},    /* 20 bits differ */
        {"fixtures/quad.png", "fixtures/top-bottom.png", 71.875f},   /* 18 bits differ */
        {"fixtures/scene-19x13.png", "fixtures/black.png", 10.9375f},
        {"fixtures/photo.png", "fixtures/black.png", 7.8125f},
        {"fixtures/photo.png", "fixtures/photo.jpg", 100.0f},
        {"fixtures/photo.png", "fixtures/scene-19x13.png", 93.75f},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        char what[160];
        snprintf(what, sizeof what, "perceptual %s against %s", cases[i].a, cases[i].b);
        check_float(what, lib.perceptual(cases[i].a, cases[i].b), cases[i].score);
    }
    free(black.px);
    free(black_small.px);
    free(lr.px);
    free(tb.px);
    free(quad.px);
}

static void check_messages(void)
{
    save_bytes("fixtures/empty.png", "", 0);
    size_t n = 0;
    unsigned char *png = read_file("fixtures/base.png", &n);
    need(png && n > 40, "truncated.png");
    save_bytes("fixtures/truncated.png", png, 40);
    free(png);

    check_float("missing file", lib.similarity("fixtures/missing.png", "fixtures/base.png"), -1.0f);
    check_error("missing file message", "Failed to load 'fixtures/missing.png': Unable to open file");
    check_float("missing secondary", lib.similarity("fixtures/base.png", "fixtures/missing.png"), -1.0f);
    check_error("missing secondary message", "Failed to load 'fixtures/missing.png': Unable to open file");
    check_float("directory", lib.similarity("fixtures", "fixtures/base.png"), -1.0f);
    check_error("directory message", "Failed to load 'fixtures': Unable to open file");
    check_float("directory, trailing slash", lib.perceptual("fixtures/", "fixtures/base.png"), -1.0f);
    check_error("directory, trailing slash message", "Failed to load 'fixtures/': Unable to open file");
    check_float("directory as secondary", lib.perceptual("fixtures/base.png", "."), -1.0f);
    check_error("directory as secondary message", "Failed to load '.': Unable to open file");
#if defined(_WIN32)
    const char *device = "NUL";
#else
    const char *device = "/dev/null";
#endif
    char want[2048];
    check_float("device", lib.similarity(device, "fixtures/base.png"), -1.0f);
    snprintf(want, sizeof want, "Failed to load '%s': Unable to open file", device);
    check_error("device message", want);
    check_float("empty file", lib.similarity("fixtures/empty.png", "fixtures/base.png"), -1.0f);
    check_error("empty file message", "Failed to load 'fixtures/empty.png': Image not of any known type, or corrupt");
    check_float("truncated PNG", lib.similarity("fixtures/truncated.png", "fixtures/base.png"), -1.0f);
    check_error("truncated PNG message",
                "Failed to load 'fixtures/truncated.png': PNG not supported: unknown PNG chunk type");
    check_float("non-ASCII bytes of a missing name",
                lib.similarity("fixtures/caf\xc3\xa9-\xe2\x82\xac.png", "fixtures/base.png"), -1.0f);
    check_error("non-ASCII bytes quoted unchanged",
                "Failed to load 'fixtures/caf\xc3\xa9-\xe2\x82\xac.png': Unable to open file");

    /* A message longer than the buffer is cut at 1023 characters. */
    char long_path[1200];
    memset(long_path, 'x', sizeof long_path);
    memcpy(long_path, "fixtures/", 9);
    long_path[sizeof long_path - 1] = '\0';
    check_float("long path", lib.similarity(long_path, "fixtures/base.png"), -1.0f);
    snprintf(want, sizeof want, "Failed to load '%s", long_path);
    want[1023] = '\0';
    check_error("long path message cut at 1023", want);

    check_float("null primary", lib.similarity(NULL, "fixtures/base.png"), -1.0f);
    check_error("null primary message", "Null image path or metrics pointer");
    check_text("stats null secondary", lib.stats("fixtures/base.png", NULL), NULL);
    check_error("stats null secondary message", "Null image path or metrics pointer");
    check_int("diff null output", lib.diff(NULL, NULL, NULL), 0);
    check_error("diff null output message", "Null or empty output image path");
    check_int("diff empty output", lib.diff("fixtures/base.png", "fixtures/base.png", ""), 0);
    check_error("diff empty output message", "Null or empty output image path");
    check_int("diff into a missing folder",
              lib.diff("fixtures/base.png", "fixtures/base.png", "fixtures/no-such-folder/out.png"), 0);
    check_error("diff into a missing folder message",
                "Failed to write diff output file 'fixtures/no-such-folder/out.png'");
    check_float("perceptual null", lib.perceptual(NULL, "fixtures/base.png"), -1.0f);
    check_error("perceptual null message", "Failed to load '(null)': Unable to open file");

    /* Perceptual success keeps the earlier message; a pixel call empties it. */
    check_float("perceptual after failure", lib.perceptual("fixtures/base.png", "fixtures/base.png"), 100.0f);
    check_error("perceptual keeps the message", "Failed to load '(null)': Unable to open file");
    const char *kept = lib.stats("fixtures/base.png", "fixtures/half-99.625.png");
    check_error("pixel call empties the message", "");
    check_text("stats text before a failure", kept,
               "{\"identical\":false,\"similarity\":99.62,\"different_pixels\":1,\"total_pixels\":40}");
    check_text("failed stats", lib.stats("fixtures/missing.png", "fixtures/base.png"), NULL);
    check_text("failed stats leaves the text", kept,
               "{\"identical\":false,\"similarity\":99.62,\"different_pixels\":1,\"total_pixels\":40}");
    check_int("stats text stays at one address",
              lib.stats("fixtures/base.png", "fixtures/base.png") == kept, 1);
    check_int("init", lib.init(), 1);
    check_error("init empties the message", "");
    lib.cleanup();
    check_text("cleanup empties the stats text", kept, "");
    check_int("last-error text stays at one address", lib.last_error() == lib.last_error(), 1);
}

#if defined(_WIN32)
/* Each thread makes the decoder keep a failure text of its own (the
 * runtime's thread-local storage), then ends: the module must stay sound. */
static DWORD WINAPI failing_thread(LPVOID arg)
{
    (void)arg;
    float a = lib.similarity("fixtures/truncated.png", "fixtures/base.png");
    float b = lib.perceptual("fixtures/empty.png", "fixtures/base.png");
    float c = lib.similarity("fixtures/base.png", "fixtures/half-99.125.png");
    return (a == -1.0f && b == -1.0f && c == 99.125f) ? 0 : 1;
}

static void check_windows_host(void)
{
    check_float("backslash path", lib.similarity("fixtures\\base.png", "fixtures\\half-99.875.png"), 99.875f);
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i) threads[i] = CreateThread(NULL, 0, failing_thread, NULL, 0, NULL);
    for (int i = 0; i < 4; ++i) {
        DWORD code = 2;
        check_int("thread created", threads[i] != NULL, 1);
        if (!threads[i]) continue;
        WaitForSingleObject(threads[i], INFINITE);
        GetExitCodeThread(threads[i], &code);
        CloseHandle(threads[i]);
        check_int("thread results", (long long)code, 0);
    }
    check_float("after the threads ended", lib.similarity("fixtures/base.png", "fixtures/half-99.625.png"),
                99.625f);
}
#endif

/* Unloading and loading again gives a module in its first state. */
static void check_reload(const char *module_path)
{
    check_float("before unloading", lib.similarity("fixtures/missing.png", "fixtures/base.png"), -1.0f);
    close_module(g_module);
    memset(&lib, 0, sizeof lib);
    check_int("load again", load_api(module_path), 1);
    if (!lib.last_error) return;
#if defined(_WIN32)
    /* FreeLibrary of the last reference unmaps the DLL; ELF loaders may keep
     * a module with thread-local data mapped, so only Windows checks this. */
    check_error("fresh message after reload", "");
#endif
    check_float("works after reload", lib.similarity("fixtures/base.png", "fixtures/half-99.125.png"), 99.125f);
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    if (!load_api(argv[1])) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    make_folder("fixtures");
    check_pixel_answers();
    check_difference_image();
    check_perceptual();
    check_messages();
#if defined(_WIN32)
    check_windows_host();
#endif
    check_reload(argv[1]);
    close_module(g_module);
    printf("host check: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
