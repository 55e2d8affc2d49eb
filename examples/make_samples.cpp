// Writes the sample images of the quick start into a folder: a photo-like
// scene, a copy with an object moved, a re-encoded JPEG copy, and a
// half-size copy.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize2.h>

static std::vector<unsigned char> scene(int w, int h, int sun_x)
{
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
    unsigned seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            int noise = static_cast<int>((seed >> 16) % 7) - 3;
            double sky = static_cast<double>(y) / h;
            int r = static_cast<int>(70 + 120 * sky), g = static_cast<int>(130 + 80 * sky), b = static_cast<int>(220 - 60 * sky);
            if (y > h * 2 / 3 + static_cast<int>(10 * std::sin(x * 0.05))) { r = 60; g = 140 - (y % 9); b = 50; }
            double dx = x - sun_x, dy = y - h / 4;
            if (dx * dx + dy * dy < (h / 8.0) * (h / 8.0)) { r = 250; g = 210; b = 60; }
            unsigned char *p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<unsigned char>(std::min(255, std::max(0, r + noise)));
            p[1] = static_cast<unsigned char>(std::min(255, std::max(0, g + noise)));
            p[2] = static_cast<unsigned char>(std::min(255, std::max(0, b + noise)));
            p[3] = 255;
        }
    }
    return px;
}

int main(int argc, char **argv)
{
    std::string dir = argc > 1 ? argv[1] : ".";
    const int w = 320, h = 200;
    std::vector<unsigned char> a = scene(w, h, 80), b = scene(w, h, 100);
    std::vector<unsigned char> half(static_cast<size_t>(w / 2) * (h / 2) * 4);
    stbir_resize_uint8_srgb(a.data(), w, h, 0, half.data(), w / 2, h / 2, 0, STBIR_RGBA);
    int ok = stbi_write_png((dir + "/scene.png").c_str(), w, h, 4, a.data(), w * 4) &&
             stbi_write_png((dir + "/scene-moved.png").c_str(), w, h, 4, b.data(), w * 4) &&
             stbi_write_jpg((dir + "/scene.jpg").c_str(), w, h, 4, a.data(), 85) &&
             stbi_write_png((dir + "/scene-half.png").c_str(), w / 2, h / 2, 4, half.data(), w * 2);
    if (!ok) {
        std::fprintf(stderr, "make_samples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("samples written to %s\n", dir.c_str());
    return 0;
}
