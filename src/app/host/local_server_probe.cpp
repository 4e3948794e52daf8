#include "app/host/local_server_probe.hpp"

#include <variant>

#include "app/host/local_endpoint.hpp"

namespace lumenary::app {

bool answersAsServing(platform::HTTPClient& client, const std::string& url, platform::HTTPClientTimeouts timeouts) {
    const auto result = client.send({.method = "OPTIONS", .url = url, .headers = {}, .body = {}, .timeouts = timeouts});
    const auto* response = std::get_if<platform::HTTPClientResponse>(&result);
    return response != nullptr && (response->status == 200 || response->status == 204);
}

bool probeLocalServer(const platform::DefaultsStore& defaults) {
    platform::HTTPClient client;
    return answersAsServing(client, localEndpointURL(configuredServerPort(defaults)), probeTimeouts);
}

}  // namespace lumenary::app
