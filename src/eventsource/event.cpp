#include "eventsource/event.hpp"

#include "system/hasher.hpp"

namespace lumenary::eventsource {

namespace {

void combineOptional(system::Hasher& hasher, const std::optional<std::string>& text) {
    hasher.combine(std::uint64_t{text ? 1U : 0U});
    if (text) {
        hasher.combine(std::string_view(*text));
    }
}

}  // namespace

std::size_t Event::hash() const noexcept {
    system::Hasher hasher;
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
