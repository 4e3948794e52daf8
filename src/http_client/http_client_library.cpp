#include "http_client/http_client_library.hpp"

#include <dlfcn.h>

#include <thread>

namespace lumenary::http_client {

namespace {

// The runtime name of the library the headers describe (its ABI version 4).
constexpr const char* transferLibraryFile = "libcurl.so.4";

HTTPClientError loadError(const char* reason) {
    return {HTTPClientError::Kind::failed,
            std::string("libcurl could not be loaded: ") + (reason != nullptr ? reason : "no reason given")};
}

template <typename Function>
bool resolve(void* library, const char* name, Function& entry) {
    // The one sanctioned cast from a symbol's address to a function pointer.
    entry = reinterpret_cast<Function>(::dlsym(library, name));
    return entry != nullptr;
}

}  // namespace

std::variant<HTTPClientLibrary, HTTPClientError> HTTPClientLibrary::load(const char* fileName) {
    // Local binding keeps the library's symbols (and those of its TLS
    // stack) out of the global scope, where they could shadow others.
    void* library = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return loadError(::dlerror());
    }
    HTTPClientLibrary entries{};
    const bool complete = resolve(library, "curl_global_init", entries.globalInit) &&
                          resolve(library, "curl_easy_init", entries.easyInit) &&
                          resolve(library, "curl_easy_cleanup", entries.easyCleanup) &&
                          resolve(library, "curl_easy_reset", entries.easyReset) &&
                          resolve(library, "curl_easy_setopt", entries.easySetopt) &&
                          resolve(library, "curl_easy_perform", entries.easyPerform) &&
                          resolve(library, "curl_easy_getinfo", entries.easyGetinfo) &&
                          resolve(library, "curl_easy_strerror", entries.easyStrerror) &&
                          resolve(library, "curl_slist_append", entries.slistAppend) &&
                          resolve(library, "curl_slist_free_all", entries.slistFreeAll) &&
                          resolve(library, "curl_easy_pause", entries.easyPause) &&
                          resolve(library, "curl_multi_init", entries.multiInit) &&
                          resolve(library, "curl_multi_cleanup", entries.multiCleanup) &&
                          resolve(library, "curl_multi_add_handle", entries.multiAddHandle) &&
                          resolve(library, "curl_multi_remove_handle", entries.multiRemoveHandle) &&
                          resolve(library, "curl_multi_perform", entries.multiPerform) &&
                          resolve(library, "curl_multi_poll", entries.multiPoll) &&
                          resolve(library, "curl_multi_wakeup", entries.multiWakeup) &&
                          resolve(library, "curl_multi_info_read", entries.multiInfoRead);
    if (!complete) {
        HTTPClientError error = loadError(::dlerror());
        ::dlclose(library);
        return error;
    }
    return entries;
}

const std::variant<HTTPClientLibrary, HTTPClientError>& HTTPClientLibrary::shared() {
    static const auto outcome = []() -> std::variant<HTTPClientLibrary, HTTPClientError> {
        auto loaded = load(transferLibraryFile);
        if (const auto* library = std::get_if<HTTPClientLibrary>(&loaded)) {
            // The library's own set-up is not thread-safe: once per process,
            // under the guard of this static's initialisation. It runs on a
            // thread of its own that ends at once: the TLS library keeps
            // per-thread state made during set-up until that thread ends,
            // and a worker-pool thread would end only after the TLS
            // library's exit handler, which leaks it.
            CURLcode code = CURLE_OK;
            std::thread([&code, library] { code = library->globalInit(CURL_GLOBAL_DEFAULT); }).join();
            if (code != CURLE_OK) {
                return HTTPClientError{HTTPClientError::Kind::failed,
                                       std::string("libcurl could not be initialised: ") + library->easyStrerror(code)};
            }
        }
        return loaded;
    }();
    return outcome;
}

}  // namespace lumenary::http_client
