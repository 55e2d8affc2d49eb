// Shared by the fuzz targets: the library source compiled into the target
// (so the decoder's stbi_info can screen sizes), fuzz bytes written to a
// private temporary file, and a fixed reference image.
//
// Every target defines one entry, LLVMFuzzerTestOneInput. Built with
// -fsanitize=fuzzer it is driven by libFuzzer; built with replay_main.cpp it
// replays files and folders given on the command line.
#pragma once

#include "../src/ranvique.cpp"

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace fuzz {

// Inputs whose claimed canvas exceeds this many pixels are skipped: they
// are valid claims within the decoder's limits that only cost time and
// memory (the hostile-file measurements cover them), not new code paths.
constexpr long long kMaxPixels = 1LL << 22;

inline const std::string &work_dir()
{
    static std::string dir = [] {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/ranvique-fuzz-XXXXXX";
        if (!mkdtemp(&tmpl[0])) abort();
        std::string made = tmpl;
        static std::string to_remove;
        to_remove = made;
        atexit([] {
            for (const char *name : {"/a", "/b", "/ref.png", "/out.png", "/out.bmp", "/out.jpg"})
                unlink((to_remove + name).c_str());
            rmdir(to_remove.c_str());
        });
        return made;
    }();
    return dir;
}

// Writes bytes to <work dir>/<name> and returns the path.
inline std::string put(const char *name, const uint8_t *data, size_t size)
{
    std::string p = work_dir() + "/" + name;
    FILE *f = fopen(p.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    return p;
}

// True when the decoder would claim a canvas small enough to be worth the time.
inline bool small_enough(const uint8_t *data, size_t size)
{
    int w = 0, h = 0, n = 0;
    if (size > (1u << 24)) return false;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &n)) return true;  // fails fast
    return static_cast<long long>(w) * h <= kMaxPixels;
}

// A 7 x 5 RGBA PNG with varied pixels, written once per process.
inline const std::string &reference()
{
    static std::string p = [] {
        unsigned char px[7 * 5 * 4];
        for (int i = 0; i < 7 * 5 * 4; ++i) px[i] = static_cast<unsigned char>((i * 37 + 11) ^ (i >> 2));
        std::string out = work_dir() + "/ref.png";
        if (!stbi_write_png(out.c_str(), 7, 5, 4, px, 7 * 4)) abort();
        return out;
    }();
    return p;
}

// Checks the contract every export keeps after any call: the last-error
// text is terminated within its 1024 bytes, and a failure left a message.
inline void check_state(bool failed)
{
    const char *e = ranvique_last_error();
    if (!e || memchr(e, '\0', 1024) == nullptr) abort();
    if (failed && e[0] == '\0') abort();
}

}  // namespace fuzz
