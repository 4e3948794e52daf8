#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>

#include "http_client/http_client.hpp"
#include "http_client/http_client_library.hpp"

// What the blocking and the streaming exchange share of the transfer
// library: how a request becomes a handle's options, how the idle limit is
// watched, and how a failed transfer is told in words.
namespace lumenary::http_client {

struct HeaderListDeleter {
    const HTTPClientLibrary* library;
    void operator()(curl_slist* list) const noexcept { library->slistFreeAll(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// Watches one transfer for its idle limit from the progress callback.
struct IdleWatch {
    using Clock = std::chrono::steady_clock;

    // Zero: no limit.
    std::chrono::milliseconds limit{0};
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastReceived = 0;
    curl_off_t lastSent = 0;
    bool passed = false;
    // A transfer its consumer paused is waiting for us, not for the peer.
    bool paused = false;
};

// The progress callback for CURLOPT_XFERINFOFUNCTION, its data an IdleWatch.
int watchIdleTime(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent);

// Sets every option `request` gives on `handle`, its header list kept in
// `headers`, failures described into `detail` (CURL_ERROR_SIZE bytes), the
// idle watch on `watch`. The request, the list and the buffer must outlive
// the transfer. Callbacks for the head and body are the caller's. Returns
// an error only when the header list cannot be built.
std::optional<HTTPClientError> prepareTransfer(const HTTPClientLibrary& library, CURL* handle,
                                               const HTTPClientRequest& request, HeaderList& headers, char* detail,
                                               IdleWatch& watch);

// What ended a transfer, in words a person can act on. `bodyLimit` is the
// bound the body passed when the write callback refused it, else absent.
HTTPClientError transferError(const HTTPClientLibrary& library, CURLcode code, const char* detail,
                              const IdleWatch& watch, std::optional<std::size_t> bodyLimit,
                              const HTTPClientRequest& request);

}  // namespace lumenary::http_client
