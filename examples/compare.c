/* The smallest host: compares two image files with every answer the library
 * gives. usage: compare PRIMARY SECONDARY [DIFF_OUTPUT] */
#include <stdio.h>

#include "ranvique.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s PRIMARY SECONDARY [DIFF_OUTPUT]\n", argv[0]);
        return 2;
    }
    float similarity = ranvique_similarity(argv[1], argv[2]);
    if (similarity < 0.0f) {
        fprintf(stderr, "%s\n", ranvique_last_error());
        return 2;
    }
    const char *stats = ranvique_stats(argv[1], argv[2]);
    float perceptual = ranvique_perceptual(argv[1], argv[2]);
    printf("%s vs %s\n  similarity %.4f\n  stats      %s\n  perceptual %.4f\n", argv[1], argv[2],
           (double)similarity, stats ? stats : ranvique_last_error(), (double)perceptual);
    if (argc > 3) {
        if (!ranvique_diff(argv[1], argv[2], argv[3])) {
            fprintf(stderr, "%s\n", ranvique_last_error());
            return 2;
        }
        printf("  diff       %s\n", argv[3]);
    }
    return 0;
}
