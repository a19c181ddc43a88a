#include "component/LibPq.h"

#include "component/Error.h"

#include <dlfcn.h>

namespace hx {
namespace {
struct Loaded {
    LibPq functions;
    QString why;
    bool ok = false;
};

Loaded load() {
    Loaded l;
    // The name the Qt driver's own copy is bound to, so both share one.
    void *handle = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        l.why = QStringLiteral("The PostgreSQL client library libpq.so.5 could not be loaded: %1")
                    .arg(QString::fromLocal8Bit(::dlerror()));
        return l;
    }
#define HX_LIBPQ_RESOLVE(name)                                                                               \
    l.functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                          \
    if (!l.functions.name) {                                                                                 \
        l.why = QStringLiteral("The PostgreSQL client library libpq.so.5 has no " #name                      \
                               "; version 14 or later is needed.");                                          \
        return l;                                                                                            \
    }
    HX_LIBPQ_FUNCTIONS(HX_LIBPQ_RESOLVE)
#undef HX_LIBPQ_RESOLVE
    l.ok = true;
    return l;
}
} // namespace

const LibPq *findLibPq(QString *why) {
    static const Loaded loaded = load();
    if (!loaded.ok && why) *why = loaded.why;
    return loaded.ok ? &loaded.functions : nullptr;
}

const LibPq &libpq() {
    if (const LibPq *l = findLibPq()) return *l;
    QString why;
    findLibPq(&why);
    throw HxError(why, ErrNo::Database);
}

} // namespace hx
