// Benchmarks of the exports against the work of their dependencies.
//
// ranvique_bench [google-benchmark flags]   timings (pairs are generated on first use)
// ranvique_bench --compressors              PNG compressors on the difference images
// ranvique_bench --peak-memory              peak resident memory of each export, 12 MP pair
//
// Images go to $RANVIQUE_BENCH_DATA (default: ./bench-data beside the current
// folder). The module is the one built beside this binary, or $RANVIQUE_MODULE.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "limits.h"

namespace {

struct module_api {
    float (*similarity)(const char *, const char *);
    const char *(*stats)(const char *, const char *);
    int (*diff)(const char *, const char *, const char *);
    float (*perceptual)(const char *, const char *);
};

module_api g_api;

void load_module()
{
    const char *path = getenv("RANVIQUE_MODULE");
    if (!path || !*path) path = RANVIQUE_MODULE_PATH;
    void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        exit(1);
    }
    g_api.similarity = reinterpret_cast<float (*)(const char *, const char *)>(dlsym(h, "ranvique_similarity"));
    g_api.stats = reinterpret_cast<const char *(*)(const char *, const char *)>(dlsym(h, "ranvique_stats"));
    g_api.diff = reinterpret_cast<int (*)(const char *, const char *, const char *)>(dlsym(h, "ranvique_diff"));
    g_api.perceptual = reinterpret_cast<float (*)(const char *, const char *)>(dlsym(h, "ranvique_perceptual"));
}

std::string data_dir()
{
    const char *d = getenv("RANVIQUE_BENCH_DATA");
    std::string dir = (d && *d) ? d : "bench-data";
    mkdir(dir.c_str(), 0755);
    return dir;
}

bool exists(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

// ---- photo-like content: smooth gradients, shapes with hard edges, noise ----

uint32_t mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// seed picks the noise; moved shifts one of the shapes (a changed region).
std::vector<unsigned char> photo(int w, int h, uint32_t seed, int moved)
{
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
    const double cx1 = 0.3 * w + moved * 0.02 * w, cy1 = 0.4 * h, r1 = 0.15 * (w < h ? w : h);
    const double cx2 = 0.7 * w, cy2 = 0.6 * h, r2 = 0.2 * (w < h ? w : h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
            double r = 40 + 150 * u + 30 * v, g = 60 + 120 * v * v + 40 * u, b = 190 - 140 * u * v;
            double d1 = (x - cx1) * (x - cx1) + (y - cy1) * (y - cy1);
            double d2 = (x - cx2) * (x - cx2) + (y - cy2) * (y - cy2);
            if (d1 < r1 * r1) {
                r = 230 - 60 * v;
                g = 90 + 40 * u;
                b = 40;
            }
            if (d2 < r2 * r2) {
                r = 30 + 0.0004 * d2;
                g = 150;
                b = 90 + 80 * v;
            }
            if (((x / 97) + (y / 61)) % 11 == 0) {  // a few sharp bars
                r *= 0.5;
                g *= 0.5;
                b *= 0.5;
            }
            uint32_t n = mix(static_cast<uint32_t>(y) * 65537u + static_cast<uint32_t>(x) + seed * 0x9E3779B9u);
            unsigned char *p = &px[(static_cast<size_t>(y) * w + x) * 4];
            double c[3] = {r, g, b};
            for (int k = 0; k < 3; ++k) {
                int val = static_cast<int>(c[k]) + static_cast<int>((n >> (8 * k)) & 15) - 8;
                p[k] = static_cast<unsigned char>(val < 0 ? 0 : (val > 255 ? 255 : val));
            }
            p[3] = 255;
        }
    }
    return px;
}

// ---- pairs ----

struct size_spec {
    const char *name;
    int w, h;
};
const size_spec kSizes[] = {{"0.3MP", 640, 480}, {"2MP", 1920, 1080}, {"12MP", 4000, 3000}};
const char *kFormats[] = {"png", "jpg"};
enum variant { IDENTICAL, DIFFERING, RESIZED };
const char *kVariants[] = {"identical", "differing", "resized"};

struct pair_files {
    std::string a, b, out;
    int w = 0, h = 0;  // canvas
    int bw = 0, bh = 0;  // secondary
};

void write_image(const std::string &path, const char *fmt, int w, int h, const std::vector<unsigned char> &px)
{
    int ok = strcmp(fmt, "png") == 0 ? limits::write_png_libdeflate(path.c_str(), w, h, px.data())
                                     : limits::write_jpg(path.c_str(), w, h, px.data(), 90);
    if (!ok) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

pair_files make_pair(const size_spec &s, const char *fmt, variant v)
{
    const std::string dir = data_dir();
    const std::string base = dir + "/" + s.name + "-";
    pair_files p;
    p.w = s.w;
    p.h = s.h;
    p.a = base + "a." + fmt;
    if (!exists(p.a)) write_image(p.a, fmt, s.w, s.h, photo(s.w, s.h, 1, 0));
    switch (v) {
    case IDENTICAL:
        p.b = base + "a-copy." + fmt;
        if (!exists(p.b)) {
            std::ifstream in(p.a, std::ios::binary);
            std::ofstream out(p.b, std::ios::binary);
            out << in.rdbuf();
        }
        p.bw = s.w;
        p.bh = s.h;
        break;
    case DIFFERING:
        p.b = base + "b." + fmt;
        if (!exists(p.b)) write_image(p.b, fmt, s.w, s.h, photo(s.w, s.h, 2, 1));
        p.bw = s.w;
        p.bh = s.h;
        break;
    case RESIZED: {
        p.bw = s.w * 4 / 5;
        p.bh = s.h * 4 / 5;
        p.b = base + "b-small." + fmt;
        if (!exists(p.b)) write_image(p.b, fmt, p.bw, p.bh, photo(p.bw, p.bh, 2, 1));
        break;
    }
    }
    p.out = base + kVariants[v] + "-" + fmt + "-diff.png";
    return p;
}

// ---- limits ----

void decode_both(const pair_files &p)
{
    int w, h;
    unsigned char *a = limits::decode(p.a.c_str(), &w, &h);
    unsigned char *b = limits::decode(p.b.c_str(), &w, &h);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    limits::release(a);
    limits::release(b);
}

std::vector<unsigned char> decoded(const std::string &path, int *w, int *h)
{
    unsigned char *px = limits::decode(path.c_str(), w, h);
    std::vector<unsigned char> v(px, px + static_cast<size_t>(*w) * *h * 4);
    limits::release(px);
    return v;
}

// ---- benchmarks ----

enum what { DECODE, RESAMPLE, ENCODE, SIMILARITY, STATS, DIFF, PERCEPTUAL, CHAIN, PASS, PASS_REFERENCE, RENDER };
const char *kWhat[] = {"decode", "resample", "encode", "similarity", "stats", "diff", "perceptual", "add_chain", "pass", "pass_reference", "render"};

void run(benchmark::State &state, pair_files p, what w)
{
    std::vector<unsigned char> secondary, canvas, diffpx;
    int sw = 0, sh = 0;
    if (w == RESAMPLE || w >= PASS) secondary = decoded(p.b, &sw, &sh);
    if (w >= PASS) {
        int cw, ch;
        canvas = decoded(p.a, &cw, &ch);
        if (sw != cw || sh != ch) {
            std::vector<unsigned char> r(canvas.size());
            limits::resize(secondary.data(), sw, sh, r.data(), cw, ch);
            secondary.swap(r);
        }
    }
    std::vector<unsigned char> work = canvas;
    unsigned long count = 0;
    double sum = 0.0;
    if (w == ENCODE) {
        // The difference image of this pair, as the library draws it.
        std::string bmp = p.out + ".bmp";
        g_api.diff(p.a.c_str(), p.b.c_str(), bmp.c_str());
        int dw, dh;
        diffpx = decoded(bmp, &dw, &dh);
        remove(bmp.c_str());
    }
    // Terms of the dependent-addition chain: nonzero, cycling through a small table.
    static double terms[1024];
    for (int k = 0; k < 1024; ++k) terms[k] = (k + 1) / 1020.0;
    const uint64_t n = static_cast<uint64_t>(p.w) * p.h;

    for (auto _ : state) {
        switch (w) {
        case DECODE: decode_both(p); break;
        case RESAMPLE: {
            unsigned char *out = static_cast<unsigned char *>(malloc(n * 4));
            if (!limits::resize(secondary.data(), sw, sh, out, p.w, p.h)) state.SkipWithError("resize");
            benchmark::DoNotOptimize(out);
            free(out);
            break;
        }
        case ENCODE:
#if defined(RANVIQUE_BENCH_STB_COMPRESSOR)
            limits::write_png_stb(p.out.c_str(), p.w, p.h, diffpx.data());
#else
            if (strcmp(RANVIQUE_BENCH_COMPRESSOR, "stb") == 0)
                limits::write_png_stb(p.out.c_str(), p.w, p.h, diffpx.data());
            else
                limits::write_png_libdeflate(p.out.c_str(), p.w, p.h, diffpx.data());
#endif
            break;
        case SIMILARITY: benchmark::DoNotOptimize(g_api.similarity(p.a.c_str(), p.b.c_str())); break;
        case STATS: benchmark::DoNotOptimize(g_api.stats(p.a.c_str(), p.b.c_str())); break;
        case DIFF:
            if (!g_api.diff(p.a.c_str(), p.b.c_str(), p.out.c_str())) state.SkipWithError("diff");
            break;
        case PERCEPTUAL: benchmark::DoNotOptimize(g_api.perceptual(p.a.c_str(), p.b.c_str())); break;
        case PASS:
            passes::compare(canvas.data(), secondary.data(), n, &count, &sum);
            benchmark::DoNotOptimize(sum);
            break;
        case PASS_REFERENCE:
            passes::compare_reference(canvas.data(), secondary.data(), n, &count, &sum);
            benchmark::DoNotOptimize(sum);
            break;
        case RENDER:
            state.PauseTiming();
            memcpy(work.data(), canvas.data(), canvas.size());
            state.ResumeTiming();
            passes::render(work.data(), secondary.data(), n);
            benchmark::ClobberMemory();
            break;
        case CHAIN: {
            // One dependent double addition per canvas pixel: the latency bound.
            double s = 0.0;
            for (uint64_t i = 0; i < n; ++i) s += terms[i & 1023];
            benchmark::DoNotOptimize(s);
            break;
        }
        }
    }
    state.counters["pixels"] = static_cast<double>(n);
}

void register_all()
{
    for (const size_spec &s : kSizes) {
        const int iters = s.w * s.h > 5000000 ? 1 : (s.w * s.h > 1000000 ? 3 : 10);
        for (const char *fmt : kFormats) {
            for (int v = 0; v < 3; ++v) {
                pair_files p = make_pair(s, fmt, static_cast<variant>(v));
                std::vector<what> list = {DECODE, SIMILARITY, STATS, DIFF, PERCEPTUAL, ENCODE, CHAIN, PASS, PASS_REFERENCE, RENDER};
                if (v == RESIZED) list.push_back(RESAMPLE);
                for (what w : list) {
                    std::string name = std::string(kWhat[w]) + "/" + s.name + "/" + fmt + "/" + kVariants[v];
                    benchmark::RegisterBenchmark(name.c_str(), run, p, w)
                        ->Iterations(iters)
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

// ---- PNG compressors on the difference images ----

double seconds_best(int reps, const std::function<void()> &f)
{
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = s < best ? s : best;
    }
    return best;
}

long file_size(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

int compressors()
{
    printf("| image | compressor | best time (ms) | size (bytes) | stb_image pixels | libpng pixels |\n");
    printf("|---|---|---:|---:|---|---|\n");
    for (const size_spec &s : kSizes) {
        for (int v = 0; v < 3; ++v) {
            pair_files p = make_pair(s, "png", static_cast<variant>(v));
            std::string bmp = p.out + ".bmp";
            if (!g_api.diff(p.a.c_str(), p.b.c_str(), bmp.c_str())) return 1;
            int w, h;
            std::vector<unsigned char> px = decoded(bmp, &w, &h);
            remove(bmp.c_str());
            const int reps = w * h > 5000000 ? 3 : 5;
            for (int c = 0; c < 2; ++c) {
                std::string out = p.out + (c ? ".libdeflate.png" : ".stb.png");
                double t = seconds_best(reps, [&] {
                    if (c) limits::write_png_libdeflate(out.c_str(), w, h, px.data());
                    else limits::write_png_stb(out.c_str(), w, h, px.data());
                });
                int dw, dh;
                std::vector<unsigned char> back = decoded(out, &dw, &dh);
                std::string lp;
                int lw = 0, lh = 0;
                bool libpng_ok = limits::decode_libpng(out.c_str(), lp, &lw, &lh) && lw == w && lh == h &&
                                 lp.size() == px.size() && memcmp(lp.data(), px.data(), px.size()) == 0;
                bool stb_ok = dw == w && dh == h && back == px;
                printf("| %s %s | %s | %.1f | %ld | %s | %s |\n", s.name, kVariants[v], c ? "libdeflate" : "stb",
                       t * 1000, file_size(out), stb_ok ? "identical" : "DIFFERENT",
                       libpng_ok ? "identical" : "DIFFERENT");
                fflush(stdout);
                remove(out.c_str());
            }
        }
    }
    return 0;
}

// ---- peak memory ----

long status_kib(const char *key)
{
    FILE *f = fopen("/proc/self/status", "r");
    char line[256];
    long v = -1;
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, key, strlen(key)) == 0) v = atol(line + strlen(key));
    if (f) fclose(f);
    return v;
}

void reset_peak()
{
    FILE *f = fopen("/proc/self/clear_refs", "w");
    if (f) {
        fputs("5", f);
        fclose(f);
    }
}

int peak_memory()
{
    printf("| pair | export | peak above the call's start (MiB) | canvases (%s) |\n", "canvas = 4 B/pixel");
    printf("|---|---|---:|---:|\n");
    for (int v = 1; v < 3; ++v) {
        pair_files p = make_pair(kSizes[2], "png", static_cast<variant>(v));
        const double canvas = static_cast<double>(p.w) * p.h * 4;
        const double second = static_cast<double>(p.bw) * p.bh * 4;
        const char *names[] = {"similarity", "stats", "diff", "perceptual"};
        for (int e = 0; e < 4; ++e) {
            reset_peak();
            long base = status_kib("VmRSS:");
            switch (e) {
            case 0: g_api.similarity(p.a.c_str(), p.b.c_str()); break;
            case 1: g_api.stats(p.a.c_str(), p.b.c_str()); break;
            case 2: g_api.diff(p.a.c_str(), p.b.c_str(), p.out.c_str()); break;
            case 3: g_api.perceptual(p.a.c_str(), p.b.c_str()); break;
            }
            long peak = status_kib("VmHWM:");
            double bytes = static_cast<double>(peak - base) * 1024;
            printf("| 12MP png %s (secondary %.2f canvases) | %s | %.1f | %.2f |\n", kVariants[v], second / canvas,
                   names[e], bytes / 1048576, bytes / canvas);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    load_module();
    if (argc > 1 && strcmp(argv[1], "--compressors") == 0) return compressors();
    if (argc > 1 && strcmp(argv[1], "--peak-memory") == 0) return peak_memory();
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
