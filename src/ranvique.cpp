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

#if defined(RANVIQUE_PNG_LIBDEFLATE)
// The PNG writer's zlib stream from libdeflate: stbi_write_png still filters
// the rows and lays out the file, and passes its compression level (8). The
// returned buffer is released by the writer with free().
#include <libdeflate.h>

static unsigned char *deflate_zlib(unsigned char *data, int data_len, int *out_len, int level)
{
    // The writer's level 8 becomes libdeflate's 4: on difference images that is
    // several times faster than stb's own compressor at 8 and still smaller;
    // libdeflate's higher levels are slower than stb's on flat grey areas.
    level /= 2;
    if (level < 1) level = 1;
    if (level > 12) level = 12;
    struct libdeflate_compressor *c = libdeflate_alloc_compressor(level);
    if (!c) return nullptr;
    const size_t bound = libdeflate_zlib_compress_bound(c, static_cast<size_t>(data_len));
    unsigned char *out = static_cast<unsigned char *>(malloc(bound ? bound : 1));
    size_t size = out ? libdeflate_zlib_compress(c, data, static_cast<size_t>(data_len), out, bound) : 0;
    libdeflate_free_compressor(c);
    if (!size || size > 0x7FFFFFFF) {
        free(out);
        return nullptr;
    }
    *out_len = static_cast<int>(size);
    return out;
}
#define STBIW_ZLIB_COMPRESS deflate_zlib
#endif

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

// Seeking past the end sets no end-of-file flag; reading one byte does, so a
// skip beyond a truncated file is seen as its end (else a decoder waiting
// for the end would loop for ever).
static void skip_bytes(void *user, int n)
{
    FILE *f = static_cast<FILE *>(user);
    fseek(f, n, SEEK_CUR);
    int c = fgetc(f);
    if (c != EOF) ungetc(c, f);
}

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

// The largest of a pixel pair's four absolute channel differences; their sum
// goes to *sum.
static inline int pixel_difference(const unsigned char *a, const unsigned char *b, int *sum)
{
    int dr = channel_diff(a[0], b[0]), dg = channel_diff(a[1], b[1]);
    int db = channel_diff(a[2], b[2]), da = channel_diff(a[3], b[3]);
    *sum = dr + dg + db + da;
    int m = dr > dg ? dr : dg;
    m = m > db ? m : db;
    return m > da ? m : da;
}

// A pixel's difference term is s / 1020.0, where s is the sum of its four
// absolute channel differences (0 to 1020). The 1,021 possible terms are
// formed once, at compile time, by that same double division, so each entry
// is exactly the double the division gives.
struct term_table {
    double value[1021];
};

static constexpr term_table make_term_table()
{
    term_table t{};
    for (int s = 0; s <= 1020; ++s) t.value[s] = static_cast<double>(s) / 1020.0;
    return t;
}

static constexpr term_table k_terms = make_term_table();
static_assert(k_terms.value[0] == 0.0 && k_terms.value[1020] == 1.0 && k_terms.value[510] == 0.5,
              "difference terms");

#if defined(__SSE2__) || defined(_M_X64)
#define RANVIQUE_SSE2 1
#include <emmintrin.h>
#endif

static inline int count_bits(uint64_t v)
{
#if defined(__GNUC__)
    return __builtin_popcountll(v);
#else
    int c = 0;
    for (; v; v &= v - 1) ++c;
    return c;
#endif
}

static inline int lowest_bit(unsigned v)
{
#if defined(__GNUC__)
    return __builtin_ctz(v);
#else
    int k = 0;
    while (!(v & 1u)) {
        v >>= 1;
        ++k;
    }
    return k;
#endif
}

// Pixels handled per step of the vectorised passes.
enum { PIXEL_BLOCK = 16 };

#if RANVIQUE_SSE2
// Integer work of one block of 16 pixel pairs: the sum of each pixel's four
// absolute channel differences into sums[], and two masks with bit k for
// pixel k: *nonzero when the pixel's sum is not 0, *differs when its largest
// channel difference exceeds 2. Returns 0 (and sets nothing) when the two
// blocks are equal byte for byte.
static inline int block_differences(const unsigned char *a, const unsigned char *b, uint32_t sums[PIXEL_BLOCK],
                                    unsigned *nonzero, unsigned *differs)
{
    __m128i va[4], vb[4];
    int equal = 0xFFFF;
    for (int v = 0; v < 4; ++v) {
        va[v] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 16 * v));
        vb[v] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 16 * v));
        equal &= _mm_movemask_epi8(_mm_cmpeq_epi8(va[v], vb[v]));
    }
    if (equal == 0xFFFF) return 0;
    const __m128i low_bytes = _mm_set1_epi16(0x00FF);
    const __m128i low_halves = _mm_set1_epi32(0xFFFF);
    const __m128i byte0 = _mm_set1_epi32(0xFF);
    const __m128i two = _mm_set1_epi32(2);
    const __m128i zero = _mm_setzero_si128();
    unsigned nz = 0, df = 0;
    for (int v = 0; v < 4; ++v) {
        __m128i ad = _mm_or_si128(_mm_subs_epu8(va[v], vb[v]), _mm_subs_epu8(vb[v], va[v]));
        // Largest of the four bytes of each pixel, in its lowest byte.
        __m128i m = _mm_max_epu8(ad, _mm_srli_epi32(ad, 8));
        m = _mm_and_si128(_mm_max_epu8(m, _mm_srli_epi32(m, 16)), byte0);
        // R + G and B + A in 16-bit halves, then their sum per pixel.
        __m128i pairs = _mm_add_epi16(_mm_and_si128(ad, low_bytes), _mm_srli_epi16(ad, 8));
        __m128i s = _mm_add_epi32(_mm_and_si128(pairs, low_halves), _mm_srli_epi32(pairs, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(sums + 4 * v), s);
        nz |= static_cast<unsigned>(~_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(s, zero))) & 0xF) << (4 * v);
        df |= static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(m, two)))) << (4 * v);
    }
    *nonzero = nz;
    *differs = df;
    return 1;
}
#endif

// The pixel pass: counts the pixels whose largest channel difference exceeds
// 2 and adds up every pixel's term, in pixel order, into one double. Terms
// that are exactly 0 are not added: the sum starts at +0.0 and only grows, so
// adding +0.0 would not change it. The additions form one dependent chain;
// the integer work of a block runs beside it.
static void compare_pixels(const unsigned char *p, const unsigned char *q, uint64_t n, uint64_t *different,
                           double *sum)
{
    uint64_t count = 0;
    double total = 0.0;
    uint64_t i = 0;
#if RANVIQUE_SSE2
    for (; i + PIXEL_BLOCK <= n; i += PIXEL_BLOCK) {
        uint32_t sums[PIXEL_BLOCK];
        unsigned nonzero, differs;
        if (!block_differences(p + i * 4, q + i * 4, sums, &nonzero, &differs)) continue;
        count += static_cast<uint64_t>(count_bits(differs));
        if (nonzero == 0xFFFF) {
            for (int k = 0; k < PIXEL_BLOCK; ++k) total += k_terms.value[sums[k]];
        } else {
            for (; nonzero; nonzero &= nonzero - 1) total += k_terms.value[sums[lowest_bit(nonzero)]];
        }
    }
#endif
    for (; i < n; ++i) {
        int s;
        if (pixel_difference(p + i * 4, q + i * 4, &s) > 2) ++count;
        if (s) total += k_terms.value[s];
    }
    *different = count;
    *sum = total;
}

// Loads both images onto the primary's canvas: *primary of the primary's
// size and *canvas_secondary, the secondary resampled to that size when the
// sizes differ (*resampled 1) or the decoded secondary itself. The caller
// frees both. Returns 0 with a message, having freed everything, on failure.
static int load_pair(const char *primary_path, const char *secondary_path, unsigned char **out_primary,
                     unsigned char **out_secondary, int *out_width, int *out_height, int *out_resampled)
{
    s_last_error[0] = '\0';

    int w, h, w2, h2;
    unsigned char *primary = load_rgba(primary_path, &w, &h);
    if (!primary) return 0;
    unsigned char *secondary = load_rgba(secondary_path, &w2, &h2);
    if (!secondary) {
        free(primary);
        return 0;
    }

    const int resampled = (w != w2 || h != h2);
    if (resampled) {
        const uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(w) * static_cast<int64_t>(h));
        unsigned char *resized = static_cast<unsigned char *>(malloc(n ? n * 4 : 1));
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
        free(secondary);
        secondary = resized;
    }
    *out_primary = primary;
    *out_secondary = secondary;
    *out_width = w;
    *out_height = h;
    *out_resampled = resampled;
    return 1;
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
    unsigned char *primary, *q;
    int w, h, resampled;
    if (!load_pair(primary_path, secondary_path, &primary, &q, &w, &h, &resampled)) return 0;

    const uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(w) * static_cast<int64_t>(h));
    uint64_t different = 0;
    double sum = 0.0;
    compare_pixels(primary, q, n, &different, &sum);

    // Every term is at least 0 and the first nonzero one is at least 1/1020,
    // so the sum stays exactly 0.0 only when every byte pair is equal: the
    // byte-identity test without a second pass over the buffers.
    if (!resampled && sum == 0.0) {
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
        *out_secondary = q;
        *out_width = w;
        *out_height = h;
    } else {
        free(primary);
        free(q);
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

// Faded grey of a matching pixel: double-precision luma
// (R * 0.299 + G * 0.587) + B * 0.114, truncated, then mapped by L * 0.4 + 130
// and truncated again. It comes from tables made at compile time by the same
// operations: the three products of each channel value with its weight (each
// the double that the multiplication gives) and the grey of each truncated
// luma. Only the two additions, in the same order, and the truncation are
// left for the pixel.
struct grey_tables {
    double red[256], green[256], blue[256];
    unsigned char grey[256];
};

static constexpr grey_tables make_grey_tables()
{
    grey_tables t{};
    for (int v = 0; v < 256; ++v) {
        t.red[v] = v * 0.299;
        t.green[v] = v * 0.587;
        t.blue[v] = v * 0.114;
        t.grey[v] = static_cast<unsigned char>(static_cast<int>(v * 0.4 + 130.0));
    }
    return t;
}

static constexpr grey_tables k_grey = make_grey_tables();

static inline uint32_t grey_pixel(const unsigned char *px)
{
    const double luma = (k_grey.red[px[0]] + k_grey.green[px[1]]) + k_grey.blue[px[2]];
    const uint32_t g = k_grey.grey[static_cast<int>(luma)];
    return g | g << 8 | g << 16 | 0xFF000000u;
}

static inline void store_pixel(unsigned char *o, uint32_t rgba)
{
    o[0] = static_cast<unsigned char>(rgba);
    o[1] = static_cast<unsigned char>(rgba >> 8);
    o[2] = static_cast<unsigned char>(rgba >> 16);
    o[3] = static_cast<unsigned char>(rgba >> 24);
}

static const uint32_t k_red_pixel = 0xFF0000FFu;  // 255, 0, 0, 255

// Renders the difference image over the primary's pixels, in place: each
// output pixel depends only on the two input pixels at its own position,
// which are read before it is written. Matching pixels (largest channel
// difference at most 2) become their grey level, the others red; all opaque.
static void render_difference(unsigned char *primary, const unsigned char *secondary, uint64_t n)
{
    uint64_t i = 0;
#if RANVIQUE_SSE2
    for (; i + PIXEL_BLOCK <= n; i += PIXEL_BLOCK) {
        unsigned char *a = primary + i * 4;
        uint32_t sums[PIXEL_BLOCK];
        unsigned nonzero, differs = 0;
        block_differences(a, secondary + i * 4, sums, &nonzero, &differs);
        for (int k = 0; k < PIXEL_BLOCK; ++k) {
            unsigned char *o = a + 4 * k;
            store_pixel(o, (differs >> k) & 1u ? k_red_pixel : grey_pixel(o));
        }
    }
#endif
    for (; i < n; ++i) {
        unsigned char *a = primary + i * 4;
        int s;
        store_pixel(a, pixel_difference(a, secondary + i * 4, &s) <= 2 ? grey_pixel(a) : k_red_pixel);
    }
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

    // The record is not part of this answer: the rendering repeats the
    // per-pixel test itself, drawing over the primary's buffer in place.
    const uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(w) * static_cast<int64_t>(h));
    render_difference(primary, secondary, n);
    free(secondary);
    unsigned char *out = primary;

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

// The 64 low-frequency DCT-II coefficients of the grid: entry 8a + b has
// horizontal frequency a and vertical frequency b, each one running double
// sum over the grid in row order.
static void compute_coefficients(const double grid[32][32], double coeff[64])
{
    const double pi = 3.141592653589793;
    // cosines[n][f] = cos((2n + 1) * f * pi / 64), formed exactly as each term needs it.
    double cosines[32][8];
    for (int n = 0; n < 32; ++n)
        for (int f = 0; f < 8; ++f) cosines[n][f] = cos(static_cast<double>((2 * n + 1) * f) * pi * 0.015625);

    // The 64 sums, each over the grid in row order, advance together in one
    // pass over the grid: every sum still adds its own terms one by one in
    // the same order, and the products are formed as before.
    double sums[8][8] = {};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double g = grid[y][x];
            for (int a = 0; a < 8; ++a) {
                const double gx = g * cosines[x][a];
                for (int b = 0; b < 8; ++b) sums[a][b] += gx * cosines[y][b];
            }
        }
    }
    const double c0 = 0.7071067811865475;
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 8; ++b)
            coeff[8 * a + b] = ((b == 0 ? c0 : 1.0) * (0.25 * (a == 0 ? c0 : 1.0))) * sums[a][b];
}

// Bit k is set when coefficient k lies strictly above the mean of the 63
// coefficients other than the DC term.
static uint64_t hash_from_coefficients(const double coeff[64])
{
    double total = 0.0;
    for (int k = 1; k < 64; ++k) total += coeff[k];
    const double mean = total / 63.0;
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k)
        if (coeff[k] > mean) bits |= uint64_t{1} << k;
    return bits;
}

// The 64-bit perceptual hash of one file; 0 with a message when it cannot be
// loaded or has no pixels to sample.
static int compute_phash(const char *path, uint64_t *hash)
{
    int width, height;
    unsigned char *pixels = load_rgba(path, &width, &height);
    if (!pixels) return 0;
    if (width <= 0 || height <= 0) {
        // Sampling an empty buffer would read outside it.
        free(pixels);
        set_error_fmt("Failed to hash '%s': %s", path, "Image has zero width or height");
        return 0;
    }
    double grid[32][32];
    sample_luminance(pixels, width, height, grid);
    free(pixels);
    double coeff[64];
    compute_coefficients(grid, coeff);
    *hash = hash_from_coefficients(coeff);
    return 1;
}

extern "C" RANVIQUE_API float ranvique_perceptual(const char *first_path, const char *second_path)
{
    uint64_t first, second;
    if (!compute_phash(first_path, &first)) return -1.0f;
    if (!compute_phash(second_path, &second)) return -1.0f;
    const int d = count_bits(first ^ second);
    return (1.0f - static_cast<float>(d) * 0.015625f) * 100.0f;
}
