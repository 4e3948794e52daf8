#pragma once

#include <curl/curl.h>

#include <string>
#include <variant>

#include "http_client/http_client.hpp"

namespace lumenary::http_client {

// The transfer library's entry points that the HTTP client calls. The
// library and everything it pulls in (TLS, compression, name services) costs
// more to load than the rest of start-up together, and most runs never make
// a request, so it is opened on the first request rather than at exec. The
// header still gives the types and constants.
struct HTTPClientLibrary {
    decltype(&curl_global_init) globalInit;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_reset) easyReset;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_perform) easyPerform;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_strerror) easyStrerror;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
    decltype(&curl_easy_pause) easyPause;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_cleanup) multiCleanup;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_perform) multiPerform;
    decltype(&curl_multi_poll) multiPoll;
    decltype(&curl_multi_wakeup) multiWakeup;
    decltype(&curl_multi_info_read) multiInfoRead;

    // Opens the library file `fileName` and resolves every entry point, or
    // says why it could not ("libcurl could not be loaded: ..."). A library
    // that opened is never closed: its entry points stay valid for the
    // process's life.
    static std::variant<HTTPClientLibrary, HTTPClientError> load(const char* fileName);

    // The process's one copy, loaded and initialised by the first call from
    // any thread; every later call returns the same outcome.
    static const std::variant<HTTPClientLibrary, HTTPClientError>& shared();
};

}  // namespace lumenary::http_client
