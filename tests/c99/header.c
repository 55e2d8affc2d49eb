/* The public header in a strict C99 translation unit (also compiled as C++
 * through header_cxx.cpp), warnings as errors: every declaration must be
 * valid in both languages, and a host can take every export's address. */
#include "ranvique.h"

typedef struct ranvique_exports {
    int (*init)(void);
    void (*cleanup)(void);
    const char *(*last_error)(void);
    float (*similarity)(const char *, const char *);
    const char *(*stats)(const char *, const char *);
    int (*diff)(const char *, const char *, const char *);
    float (*perceptual)(const char *, const char *);
} ranvique_exports;

int ranvique_header_c99_check(void);

int ranvique_header_c99_check(void)
{
    ranvique_exports e;
    e.init = ranvique_init;
    e.cleanup = ranvique_cleanup;
    e.last_error = ranvique_last_error;
    e.similarity = ranvique_similarity;
    e.stats = ranvique_stats;
    e.diff = ranvique_diff;
    e.perceptual = ranvique_perceptual;
    return (RANVIQUE_VERSION_MAJOR >= 0) + (e.init != 0) + (e.perceptual != 0);
}
