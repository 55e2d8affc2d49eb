// quillmar-ranvique: image comparison behind seven C exports.
// Sections follow the data: dependencies, state and errors, loading,
// pixel comparison and its three answers, perceptual hash.

#ifndef RANVIQUE_BUILDING
#define RANVIQUE_BUILDING
#endif
#include "ranvique.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---- dependencies: stb decoder, resampler and encoder, compiled in as static functions ----

// Zero-filling allocation: pixels that a decoder never writes for a damaged
// file read 0, so every result is the same on every run and no heap contents
// can reach an output. Everything is still released with free().
static void *zero_malloc(size_t size) { return calloc(1, size ? size : 1); }

static void *zero_realloc(void *p, size_t old_size, size_t new_size)
{
    void *q = realloc(p, new_size ? new_size : 1);
    if (q && new_size > old_size) memset(static_cast<unsigned char *>(q) + old_size, 0, new_size - old_size);
    return q;
}

#define STBI_MALLOC(sz) zero_malloc(sz)
#define STBI_REALLOC_SIZED(p, oldsz, newsz) zero_realloc((p), (oldsz), (newsz))
#define STBI_FREE(p) free(p)
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize2.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

// ---- library state and error reporting ----

static char s_last_error[1024];
static char s_stats_buf[1024];

static void set_error(const char *message)
{
    strncpy(s_last_error, message, 1023);
    s_last_error[1023] = '\0';
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
static void set_error_fmt(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(s_last_error, sizeof s_last_error, format, args);
    va_end(args);
    s_last_error[1023] = '\0';
}

extern "C" RANVIQUE_API int ranvique_init(void)
{
    s_last_error[0] = '\0';
    return 1;
}

extern "C" RANVIQUE_API void ranvique_cleanup(void)
{
    s_last_error[0] = '\0';
    s_stats_buf[0] = '\0';
}

extern "C" RANVIQUE_API const char *ranvique_last_error(void)
{
    return s_last_error;
}

// ---- image loading ----

// Opens an image for reading, or returns null. Only regular files count: a
// directory, FIFO or device is "not a file" (and a FIFO must not block us).
static FILE *open_image_file(const char *path)
{
#if defined(_WIN32)
    FILE *f = fopen(path, "rb");
    if (!f) return nullptr;
    struct _stat64 st;
    if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        fclose(f);
        return nullptr;
    }
    return f;
#else
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE *f = fdopen(fd, "rb");
    if (!f) close(fd);
    return f;
#endif
}

// The decoder reads the file through these. A short read zero-fills the rest
// of the request: some decoders read into stack arrays and ignore a short
// read (a truncated flat Radiance HDR file), which would otherwise turn stack
// contents into pixels.
static int read_zero_tail(void *user, char *data, int size)
{
    size_t got = fread(data, 1, static_cast<size_t>(size), static_cast<FILE *>(user));
    if (got < static_cast<size_t>(size)) memset(data + got, 0, static_cast<size_t>(size) - got);
    return static_cast<int>(got);
}

static void skip_bytes(void *user, int n) { fseek(static_cast<FILE *>(user), n, SEEK_CUR); }

static int at_end(void *user) { return feof(static_cast<FILE *>(user)) || ferror(static_cast<FILE *>(user)); }

static const stbi_io_callbacks file_io = {read_zero_tail, skip_bytes, at_end};

// True when the stream holds a binary PGM/PPM with 16-bit samples. The
// stream is left where it was.
static int is_16bit_pnm(FILE *f)
{
    long pos = ftell(f);
    int c0 = fgetc(f), c1 = fgetc(f);
    fseek(f, pos, SEEK_SET);
    return c0 == 'P' && (c1 == '5' || c1 == '6') && stbi_is_16_bit_from_file(f);
}

// Which byte of a decoded 16-bit PNM sample is the file's most significant
// one. PNM stores samples big-endian; some decoder versions keep them in file
// byte order, so ask the decoder itself with a one-pixel image 0x12 0x34.
static int pnm_high_byte_shift(void)
{
    static const unsigned char probe[] = {'P', '5', ' ', '1', ' ', '1', ' ', '6', '5', '5', '3', '5', '\n', 0x12, 0x34};
    int w, h, n;
    stbi_us *px = stbi_load_16_from_memory(probe, sizeof probe, &w, &h, &n, 1);
    int shift = (px && px[0] == 0x3412) ? 0 : 8;
    free(px);
    return shift;
}

// A 16-bit PNM decoded so that every 8-bit sample is the most significant
// byte of the file's sample, whatever the decoder's byte order.
static unsigned char *load_16bit_pnm(FILE *f, int *width, int *height)
{
    int w, h, channels;
    stbi_us *wide = stbi_load_16_from_callbacks(&file_io, f, &w, &h, &channels, 4);
    if (!wide) return nullptr;
    size_t count = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    unsigned char *out = static_cast<unsigned char *>(malloc(count ? count : 1));
    if (!out) {
        free(wide);
        stbi__err("outofmem", "Out of memory");
        return nullptr;
    }
    int shift = pnm_high_byte_shift();
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(wide[i] >> shift);
    free(wide);
    *width = w;
    *height = h;
    return out;
}

// Decodes a file into a tightly packed RGBA buffer that the caller frees,
// or returns null with "Failed to load '<path>': <reason>" recorded.
static unsigned char *load_rgba(const char *path, int *width, int *height)
{
    FILE *f = path ? open_image_file(path) : nullptr;
    if (!f) {
        stbi__err("can't fopen", "Unable to open file");
        set_error_fmt("Failed to load '%s': %s", path ? path : "(null)", "Unable to open file");
        return nullptr;
    }
    // A failure that sets no text must not report an earlier call's reason.
    stbi__g_failure_reason = nullptr;
    int channels = 0;
    unsigned char *pixels = is_16bit_pnm(f) ? load_16bit_pnm(f, width, height)
                                            : stbi_load_from_callbacks(&file_io, f, width, height, &channels, 4);
    fclose(f);
    if (pixels) return pixels;
    const char *reason = stbi_failure_reason();
    set_error_fmt("Failed to load '%s': %s", path, (reason && reason[0]) ? reason : "(null)");
    return nullptr;
}

// ---- pixel comparison ----

struct image_metrics {
    int32_t identical;
    float similarity;
    uint64_t different_pixels;
    uint64_t total_pixels;
};

static inline int channel_diff(unsigned char a, unsigned char b)
{
    return a > b ? a - b : b - a;
}

// Loads both images onto the primary's canvas, compares them pixel by pixel
// and fills *metrics. With all four out-pointers set, hands the primary and
// the canvas-sized secondary buffer to the caller instead of freeing them.
static int compute_metrics(const char *primary_path, const char *secondary_path, image_metrics *metrics,
                           unsigned char **out_primary, unsigned char **out_secondary, int *out_width,
                           int *out_height)
{
    if (!primary_path || !secondary_path || !metrics) {
        set_error("Null image path or metrics pointer");
        return 0;
    }
    s_last_error[0] = '\0';

    int w, h, w2, h2;
    unsigned char *primary = load_rgba(primary_path, &w, &h);
    if (!primary) return 0;
    unsigned char *secondary = load_rgba(secondary_path, &w2, &h2);
    if (!secondary) {
        free(primary);
        return 0;
    }

    const uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(w) * static_cast<int64_t>(h));
    unsigned char *resized = nullptr;
    const int resampled = (w != w2 || h != h2);
    if (resampled) {
        resized = static_cast<unsigned char *>(malloc(n ? n * 4 : 1));
        if (!resized) {
            set_error("Memory allocation failed for resized comparison buffer");
            free(primary);
            free(secondary);
            return 0;
        }
        if (!stbir_resize_uint8_srgb(secondary, w2, h2, 0, resized, w, h, 0, STBIR_RGBA)) {
            set_error("Failed to resize secondary image to match primary canvas");
            free(resized);
            free(primary);
            free(secondary);
            return 0;
        }
    }
    const unsigned char *q = resampled ? resized : secondary;

    uint64_t different = 0;
    double sum = 0.0;
    for (uint64_t i = 0; i < n; ++i) {
        const unsigned char *a = primary + i * 4;
        const unsigned char *b = q + i * 4;
        int dr = channel_diff(a[0], b[0]), dg = channel_diff(a[1], b[1]);
        int db = channel_diff(a[2], b[2]), da = channel_diff(a[3], b[3]);
        int m = dr > dg ? dr : dg;
        m = m > db ? m : db;
        m = m > da ? m : da;
        if (m > 2) ++different;
        sum += static_cast<double>(dr + dg + db + da) / 1020.0;
    }

    if (!resampled && memcmp(primary, q, n * 4) == 0) {
        metrics->identical = 1;
        metrics->similarity = 100.0f;
        metrics->different_pixels = 0;
        metrics->total_pixels = n;
    } else {
        double mean = sum / static_cast<double>(n);
        double s = (1.0 - mean) * 100.0;
        float f = static_cast<float>(s);
        if (f < 0.0f) f = 0.0f;
        else if (f > 100.0f) f = 100.0f;
        metrics->identical = 0;
        metrics->similarity = f;
        metrics->different_pixels = different;
        metrics->total_pixels = n;
    }

    if (out_primary && out_secondary && out_width && out_height) {
        *out_primary = primary;
        if (resampled) {
            free(secondary);
            *out_secondary = resized;
        } else {
            *out_secondary = secondary;
        }
        *out_width = w;
        *out_height = h;
    } else {
        free(primary);
        free(resized);
        free(secondary);
    }
    return 1;
}

extern "C" RANVIQUE_API float ranvique_similarity(const char *primary_path, const char *secondary_path)
{
    image_metrics metrics;
    if (!compute_metrics(primary_path, secondary_path, &metrics, nullptr, nullptr, nullptr, nullptr)) return -1.0f;
    return metrics.similarity;
}

// ---- statistics report ----

static const char stats_format[] =
    "{\"identical\":%s,\"similarity\":%.2f,\"different_pixels\":%llu,\"total_pixels\":%llu}";

extern "C" RANVIQUE_API const char *ranvique_stats(const char *primary_path, const char *secondary_path)
{
    if (!primary_path || !secondary_path) {
        set_error("Null image path or metrics pointer");
        return nullptr;
    }
    image_metrics metrics;
    if (!compute_metrics(primary_path, secondary_path, &metrics, nullptr, nullptr, nullptr, nullptr)) return nullptr;
    snprintf(s_stats_buf, sizeof s_stats_buf, stats_format, metrics.identical ? "true" : "false",
             static_cast<double>(metrics.similarity), static_cast<unsigned long long>(metrics.different_pixels),
             static_cast<unsigned long long>(metrics.total_pixels));
    return s_stats_buf;
}

// ---- difference image ----

// Faded grey of a matching pixel: double-precision luma, truncated, then
// mapped onto 130..232 and truncated again.
static inline unsigned char grey_level(const unsigned char *px)
{
    double luma = (px[0] * 0.299 + px[1] * 0.587) + px[2] * 0.114;
    int lp = static_cast<int>(luma);
    return static_cast<unsigned char>(static_cast<int>(lp * 0.4 + 130.0));
}

enum diff_format { DIFF_PNG, DIFF_BMP, DIFF_JPEG };

// Output format from the last dot of the whole path; a dot at index 0 or no
// dot means no extension. Only whole, case-insensitive jpg/jpeg/bmp count.
static diff_format choose_format(const char *path)
{
    const char *dot = strrchr(path, '.');
    char ext[16];
    ext[0] = '\0';
    if (dot && dot != path) {
        size_t len = strlen(dot + 1);
        if (len > 15) len = 15;
        for (size_t i = 0; i < len; ++i)
            ext[i] = static_cast<char>(tolower(static_cast<unsigned char>(dot[1 + i])));
        ext[len] = '\0';
    }
    if (strcmp(ext, "jpg") == 0 || strcmp(ext, "jpeg") == 0) return DIFF_JPEG;
    if (strcmp(ext, "bmp") == 0) return DIFF_BMP;
    return DIFF_PNG;
}

// True when the writer for `format` encodes a w x h canvas correctly. The
// writers do their size arithmetic in 32-bit int: BMP and JPEG index the
// w*h*4 sample bytes (and BMP stores 122 + w*h*4 as its file size), the PNG
// compressor keeps its output in a buffer whose int capacity doubles, so its
// worst case (9 bits for every literal byte, (4w+1)*h filtered bytes) must stay
// below 2^30; JPEG stores each side in 16 bits. A zero-pixel canvas has no
// valid PNG or JPEG (the PNG writer would still report success) and is refused
// for every format alike.
static int diff_canvas_fits(diff_format format, int w, int h)
{
    if (w <= 0 || h <= 0) return 0;
    const int64_t pixels = static_cast<int64_t>(w) * h;
    switch (format) {
    case DIFF_PNG: return (static_cast<int64_t>(w) * 4 + 1) * h <= 954437162;
    case DIFF_BMP: return pixels * 4 + 122 <= INT32_MAX;
    case DIFF_JPEG: return w <= 65535 && h <= 65535 && pixels * 4 <= INT32_MAX;
    }
    return 0;
}

extern "C" RANVIQUE_API int ranvique_diff(const char *primary_path, const char *secondary_path,
                                          const char *output_path)
{
    if (!output_path || !output_path[0]) {
        set_error("Null or empty output image path");
        return 0;
    }
    if (!primary_path || !secondary_path) {
        set_error("Null image path or metrics pointer");
        return 0;
    }
    image_metrics metrics;
    unsigned char *primary = nullptr;
    unsigned char *secondary = nullptr;
    int w = 0, h = 0;
    if (!compute_metrics(primary_path, secondary_path, &metrics, &primary, &secondary, &w, &h)) return 0;

    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    // A zero-pixel canvas needs no bytes; malloc(0) may rightly return null.
    unsigned char *out = static_cast<unsigned char *>(malloc(n ? n * 4 : 1));
    if (!out) {
        set_error("Out of memory allocating diff image buffer");
        free(primary);
        free(secondary);
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        const unsigned char *a = primary + i * 4;
        const unsigned char *b = secondary + i * 4;
        unsigned char *o = out + i * 4;
        int d = channel_diff(a[0], b[0]);
        int dg = channel_diff(a[1], b[1]), db = channel_diff(a[2], b[2]), da = channel_diff(a[3], b[3]);
        d = d > dg ? d : dg;
        d = d > db ? d : db;
        d = d > da ? d : da;
        if (d <= 2) {
            unsigned char g = grey_level(a);
            o[0] = g;
            o[1] = g;
            o[2] = g;
        } else {
            o[0] = 255;
            o[1] = 0;
            o[2] = 0;
        }
        o[3] = 255;
    }
    free(primary);
    free(secondary);

    int written = 0;
    const diff_format format = choose_format(output_path);
    if (!diff_canvas_fits(format, w, h)) {
        free(out);
        set_error_fmt("Failed to write diff output file '%s'", output_path);
        return 0;
    }
    switch (format) {
    case DIFF_JPEG: written = stbi_write_jpg(output_path, w, h, 4, out, 90); break;
    case DIFF_BMP: written = stbi_write_bmp(output_path, w, h, 4, out); break;
    case DIFF_PNG: written = stbi_write_png(output_path, w, h, 4, out, w * 4); break;
    }
    free(out);
    if (!written) set_error_fmt("Failed to write diff output file '%s'", output_path);
    return written;
}

// ---- perceptual hash ----

// Brightness sampled at the top-left corner of each cell of a 32 x 32 grid,
// all in single precision, then widened.
static void sample_luminance(const unsigned char *pixels, int width, int height, double grid[32][32])
{
    for (int i = 0; i < 32; ++i) {
        float y = (static_cast<float>(i) * static_cast<float>(height)) * 0.03125f;
        int y0 = static_cast<int>(y);
        float fy = y - static_cast<float>(y0);
        int y1 = (y0 + 1 < height) ? y0 + 1 : y0;
        for (int j = 0; j < 32; ++j) {
            float x = (static_cast<float>(j) * static_cast<float>(width)) * 0.03125f;
            int x0 = static_cast<int>(x);
            float fx = x - static_cast<float>(x0);
            int x1 = (x0 + 1 < width) ? x0 + 1 : x0;
            auto lum = [&](int r, int c) {
                const unsigned char *p = pixels + (static_cast<size_t>(r) * static_cast<size_t>(width) + c) * 4;
                return (0.299f * static_cast<float>(p[0]) + 0.587f * static_cast<float>(p[1])) +
                       0.114f * static_cast<float>(p[2]);
            };
            float gx = 1.0f - fx;
            float gy = 1.0f - fy;
            float lower = lum(y1, x1) * fx + lum(y1, x0) * gx;
            float upper = lum(y0, x1) * fx + lum(y0, x0) * gx;
            float v = lower * fy + upper * gy;
            grid[i][j] = static_cast<double>(v);
        }
    }
}

// The 64-bit DCT hash of one file; 0 with a message when it cannot be loaded.
static int compute_phash(const char *path, uint64_t *hash)
{
    int width, height;
    unsigned char *pixels = load_rgba(path, &width, &height);
    if (!pixels) return 0;
    if (width <= 0 || height <= 0) {
        // No pixel to sample: reading the empty buffer would run outside it.
        free(pixels);
        set_error_fmt("Failed to hash '%s': %s", path, "Image has zero width or height");
        return 0;
    }
    double grid[32][32];
    sample_luminance(pixels, width, height, grid);
    free(pixels);

    const double pi = 3.141592653589793;
    // cosines[n][f] = cos((2n + 1) * f * pi / 64), formed exactly as the sum needs it.
    double cosines[32][8];
    for (int n = 0; n < 32; ++n)
        for (int f = 0; f < 8; ++f) cosines[n][f] = cos(static_cast<double>((2 * n + 1) * f) * pi * 0.015625);

    const double c0 = 0.7071067811865475;
    double coeff[64];
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) {
            double sum = 0.0;
            for (int y = 0; y < 32; ++y) {
                const double cy = cosines[y][b];
                for (int x = 0; x < 32; ++x) sum += (grid[y][x] * cosines[x][a]) * cy;
            }
            coeff[8 * a + b] = ((b == 0 ? c0 : 1.0) * (0.25 * (a == 0 ? c0 : 1.0))) * sum;
        }
    }
    double total = 0.0;
    for (int k = 1; k < 64; ++k) total += coeff[k];
    const double mean = total / 63.0;
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k)
        if (coeff[k] > mean) bits |= uint64_t{1} << k;
    *hash = bits;
    return 1;
}

static int count_bits(uint64_t v)
{
    int count = 0;
    for (; v; v &= v - 1) ++count;
    return count;
}

extern "C" RANVIQUE_API float ranvique_perceptual(const char *first_path, const char *second_path)
{
    uint64_t first, second;
    if (!compute_phash(first_path, &first)) return -1.0f;
    if (!compute_phash(second_path, &second)) return -1.0f;
    const int d = count_bits(first ^ second);
    return (1.0f - static_cast<float>(d) * 0.015625f) * 100.0f;
}
