/* A program built against an installed quillmar-ranvique: writes two tiny
 * PPM images, compares them with every export and checks the answers.
 * usage: consumer FOLDER */
#include <stdio.h>
#include <string.h>

#include <ranvique.h>

static int write_ppm(const char *path, const unsigned char *rgb, int w, int h)
{
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    size_t n = (size_t)w * (size_t)h * 3;
    int ok = fwrite(rgb, 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

int main(int argc, char **argv)
{
    char a[4096], b[4096], out[4096];
    unsigned char px[4 * 2 * 3];
    if (argc != 2) {
        fprintf(stderr, "usage: consumer FOLDER\n");
        return 2;
    }
    snprintf(a, sizeof a, "%s/a.ppm", argv[1]);
    snprintf(b, sizeof b, "%s/b.ppm", argv[1]);
    snprintf(out, sizeof out, "%s/diff.png", argv[1]);
    for (int i = 0; i < (int)sizeof px; ++i) px[i] = (unsigned char)(i * 10);
    if (!write_ppm(a, px, 4, 2)) return 2;
    px[0] = 255; px[1] = 0; px[2] = 0;  /* one pixel turned red */
    if (!write_ppm(b, px, 4, 2)) return 2;

    ranvique_init();
    float same = ranvique_similarity(a, a);
    const char *stats = ranvique_stats(a, b);
    int wrote = ranvique_diff(a, b, out);
    float missing = ranvique_similarity(a, "no-such-file.ppm");
    const char *message = ranvique_last_error();
    printf("header %d.%d.%d\nsame %.4f\nstats %s\ndiff %d\nmissing %.1f %s\n", RANVIQUE_VERSION_MAJOR,
           RANVIQUE_VERSION_MINOR, RANVIQUE_VERSION_PATCH, (double)same, stats ? stats : "(null)", wrote,
           (double)missing, message);
    int ok = same == 100.0f && stats && strstr(stats, "\"different_pixels\":1,\"total_pixels\":8") && wrote == 1 &&
             missing == -1.0f && strcmp(message, "Failed to load 'no-such-file.ppm': Unable to open file") == 0;
    ranvique_cleanup();
    puts(ok ? "consumer: ok" : "consumer: WRONG ANSWERS");
    return ok ? 0 : 1;
}
