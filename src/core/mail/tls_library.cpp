#include "core/mail/tls_library.h"

#include <dlfcn.h>
#include <openssl/opensslv.h>

#include <map>
#include <memory>
#include <mutex>

namespace meru {

static_assert(OPENSSL_VERSION_MAJOR >= 3, "the TLS table is made for OpenSSL 3");

namespace {

#define MERU_STR2(x) #x
#define MERU_STR(x) MERU_STR2(x)

struct Loaded {
    std::unique_ptr<TlsLibrary> pLibrary;  // null when loading failed
    std::string strError;
};

}  // namespace

const char* DefaultTlsLibraryName() { return "libssl.so." MERU_STR(OPENSSL_VERSION_MAJOR); }

const TlsLibrary* LoadTlsLibrary(const std::string& strName, std::string* pError) {
    static std::mutex mutex;
    static std::map<std::string, Loaded> loaded;  // never unloaded: OpenSSL
                                                  // registers exit handlers
    std::lock_guard lock(mutex);
    auto [it, added] = loaded.try_emplace(strName);
    Loaded& entry = it->second;
    if (added) {
        auto fail = [&](const std::string& why) {
            entry.strError = "TLS support could not be loaded: " + why;
        };
        dlerror();
        void* handle = dlopen(strName.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            fail(why ? why : strName + " not found");
        } else {
            auto library = std::make_unique<TlsLibrary>();
            std::string missing;
            // dlsym on the handle also searches libssl's own dependencies
            // (libcrypto).
#define MERU_TLS_LOOKUP(name)                                                              \
    library->p##name = reinterpret_cast<decltype(library->p##name)>(dlsym(handle, #name)); \
    if (!library->p##name) missing += missing.empty() ? #name : ", " #name;
            MERU_TLS_FUNCTIONS(MERU_TLS_LOOKUP)
#undef MERU_TLS_LOOKUP
            if (missing.empty()) {
                entry.pLibrary = std::move(library);
            } else {
                fail(strName + " lacks " + missing);
                dlclose(handle);
            }
        }
    }
    if (!entry.pLibrary && pError) *pError = entry.strError;
    return entry.pLibrary.get();
}

}  // namespace meru
