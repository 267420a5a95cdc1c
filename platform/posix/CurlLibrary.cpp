// Loading libcurl on first use.

#include "platform/posix/CurlLibrary.h"

#include <dlfcn.h>
#include <mutex>

namespace {

template <class F>
bool bind(void* handle, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(handle, name));
    return out != nullptr;
}

}  // namespace

const CurlLibrary* curlLibrary() {
    static std::once_flag once;
    static CurlLibrary library;
    static bool loaded = false;
    std::call_once(once, [] {
        // Never closed: the library stays for the life of the process.
        void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        CurlLibrary& l = library;
        loaded = bind(handle, "curl_global_init", l.global_init) && bind(handle, "curl_easy_init", l.easy_init) &&
                 bind(handle, "curl_easy_setopt", l.easy_setopt) &&
                 bind(handle, "curl_easy_perform", l.easy_perform) &&
                 bind(handle, "curl_easy_getinfo", l.easy_getinfo) &&
                 bind(handle, "curl_easy_cleanup", l.easy_cleanup) &&
                 bind(handle, "curl_easy_strerror", l.easy_strerror) && bind(handle, "curl_url", l.url) &&
                 bind(handle, "curl_url_set", l.url_set) && bind(handle, "curl_url_get", l.url_get) &&
                 bind(handle, "curl_url_cleanup", l.url_cleanup) &&
                 bind(handle, "curl_slist_append", l.slist_append) &&
                 bind(handle, "curl_slist_free_all", l.slist_free_all) && bind(handle, "curl_free", l.free);
    });
    return loaded ? &library : nullptr;
}
