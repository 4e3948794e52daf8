#include "eventsource/event.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::eventsource {

namespace {

void combineOptional(mcp::Hasher& hasher, const std::optional<std::string>& text) {
    hasher.combine(std::uint64_t{text ? 1U : 0U});
    if (text) {
        hasher.combine(std::string_view(*text));
    }
}

}  // namespace

std::size_t Event::hash() const noexcept {
    mcp::Hasher hasher;
    combineOptional(hasher, id);
    combineOptional(hasher, event);
    hasher.combine(std::string_view(data));
    hasher.combine(std::uint64_t{retry ? 1U : 0U});
    if (retry) {
        hasher.combine(static_cast<std::uint64_t>(*retry));
    }
    return hasher.finalize();
}

}  // namespace lumenary::eventsource

namespace lumenary::mcp {

Value Coder<eventsource::Event>::encode(const eventsource::Event& event) {
    return ObjectEncoder()
        .setIfPresent("id", event.id)
        .setIfPresent("event", event.event)
        .set("data", event.data)
        .setIfPresent("retry", event.retry)
        .finish();
}

eventsource::Event Coder<eventsource::Event>::decode(const Decoder& decoder) {
    return {decoder.decodeIfPresent<std::string>("id"), decoder.decodeIfPresent<std::string>("event"),
            decoder.decode<std::string>("data"), decoder.decodeIfPresent<std::int64_t>("retry")};
}

}  // namespace lumenary::mcp
