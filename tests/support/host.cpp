#include "host.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace host {

template <typename F>
static void bind(void *module, F &slot, const char *name)
{
    void *symbol = dlsym(module, name);
    if (!symbol) {
        std::fprintf(stderr, "host: %s is not exported: %s\n", name, dlerror());
        std::abort();
    }
    slot = reinterpret_cast<F>(symbol);
}

static api load()
{
    const char *path = std::getenv("RANVIQUE_MODULE");
    if (!path || !*path) path = RANVIQUE_MODULE_PATH;
    void *module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "host: cannot load %s: %s\n", path, dlerror());
        std::abort();
    }
    api a{};
    bind(module, a.init, "ranvique_init");
    bind(module, a.cleanup, "ranvique_cleanup");
    bind(module, a.last_error, "ranvique_last_error");
    bind(module, a.similarity, "ranvique_similarity");
    bind(module, a.stats, "ranvique_stats");
    bind(module, a.diff, "ranvique_diff");
    bind(module, a.perceptual, "ranvique_perceptual");
    return a;
}

const api &lib()
{
    static const api a = load();
    return a;
}

std::string error()
{
    const char *text = lib().last_error();
    if (!text) {
        std::fprintf(stderr, "host: ranvique_last_error returned null\n");
        std::abort();
    }
    return text;
}

}  // namespace host
