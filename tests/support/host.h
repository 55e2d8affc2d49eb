// Loads the built module the way a host does (dlopen, dlsym by plain name)
// and hands out the seven exports.
#pragma once

#include <string>

namespace host {

struct api {
    int (*init)(void);
    void (*cleanup)(void);
    const char *(*last_error)(void);
    float (*similarity)(const char *, const char *);
    const char *(*stats)(const char *, const char *);
    int (*diff)(const char *, const char *, const char *);
    float (*perceptual)(const char *, const char *);
};

// The module named by RANVIQUE_MODULE (environment) or the one this test
// binary was built beside. Aborts the test run when it cannot be loaded.
const api &lib();

// The last-error text as a string (never null by contract; checked).
std::string error();

}  // namespace host
