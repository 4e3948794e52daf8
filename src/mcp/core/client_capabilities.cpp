#include "mcp/core/client_capabilities.hpp"

#include <cstdint>

#include "mcp/core/coders.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

namespace {

std::uint64_t marker(bool present) {
    return present ? 1U : 0U;
}

}  // namespace

std::size_t ClientCapabilities::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(marker(sampling.has_value()));
    hasher.combine(marker(experimental.has_value()));
    if (experimental) {
        for (const auto& [key, value] : *experimental) {
            hasher.combine(key);
            hasher.combine(static_cast<std::uint64_t>(value.hash()));
        }
    }
    hasher.combine(marker(roots.has_value()));
    if (roots) {
        hasher.combine(marker(roots->listChanged.has_value()));
        if (roots->listChanged) {
            hasher.combine(marker(*roots->listChanged));
        }
    }
    return hasher.finalize();
}

Value Coder<ClientCapabilities::Roots>::encode(const ClientCapabilities::Roots& roots) {
    return ObjectEncoder().setIfPresent("listChanged", roots.listChanged).finish();
}

ClientCapabilities::Roots Coder<ClientCapabilities::Roots>::decode(const Decoder& decoder) {
    return {.listChanged = decoder.decodeIfPresent<bool>("listChanged")};
}

Value Coder<ClientCapabilities>::encode(const ClientCapabilities& capabilities) {
    return ObjectEncoder()
        .setIfPresent("sampling", capabilities.sampling)
        .setIfPresent("experimental", capabilities.experimental)
        .setIfPresent("roots", capabilities.roots)
        .finish();
}

ClientCapabilities Coder<ClientCapabilities>::decode(const Decoder& decoder) {
    return {
        .sampling = decoder.decodeIfPresent<ClientCapabilities::Sampling>("sampling"),
        .experimental = decoder.decodeIfPresent<std::map<std::string, Value>>("experimental"),
        .roots = decoder.decodeIfPresent<ClientCapabilities::Roots>("roots"),
    };
}

}  // namespace lumenary::mcp
