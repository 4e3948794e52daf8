#include "mcp/core/server_capabilities.hpp"

#include "mcp/core/coders.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

namespace {

// A marker 0 for absent, or 1 followed by the flag as 0 or 1, so that absent,
// false and true all hash apart.
void combineFlag(system::Hasher& hasher, const std::optional<bool>& flag) {
    hasher.combine(flag ? 1U : 0U);
    if (flag) {
        hasher.combine(*flag ? 1U : 0U);
    }
}

template <typename Group>
bool combinePresence(system::Hasher& hasher, const std::optional<Group>& group) {
    hasher.combine(group ? 1U : 0U);
    return group.has_value();
}

}  // namespace

std::size_t ServerCapabilities::hash() const noexcept {
    system::Hasher hasher;
    combinePresence(hasher, logging);
    if (combinePresence(hasher, prompts)) {
        combineFlag(hasher, prompts->listChanged);
    }
    if (combinePresence(hasher, resources)) {
        combineFlag(hasher, resources->subscribe);
        combineFlag(hasher, resources->listChanged);
    }
    combinePresence(hasher, sampling);
    if (combinePresence(hasher, tools)) {
        combineFlag(hasher, tools->listChanged);
    }
    return hasher.finalize();
}

Value Coder<ServerCapabilities::Prompts>::encode(const ServerCapabilities::Prompts& prompts) {
    return ObjectEncoder().setIfPresent("listChanged", prompts.listChanged).finish();
}

ServerCapabilities::Prompts Coder<ServerCapabilities::Prompts>::decode(const Decoder& decoder) {
    return {.listChanged = decoder.decodeIfPresent<bool>("listChanged")};
}

Value Coder<ServerCapabilities::Resources>::encode(const ServerCapabilities::Resources& resources) {
    return ObjectEncoder()
        .setIfPresent("subscribe", resources.subscribe)
        .setIfPresent("listChanged", resources.listChanged)
        .finish();
}

ServerCapabilities::Resources Coder<ServerCapabilities::Resources>::decode(const Decoder& decoder) {
    return {
        .subscribe = decoder.decodeIfPresent<bool>("subscribe"),
        .listChanged = decoder.decodeIfPresent<bool>("listChanged"),
    };
}

Value Coder<ServerCapabilities::Tools>::encode(const ServerCapabilities::Tools& tools) {
    return ObjectEncoder().setIfPresent("listChanged", tools.listChanged).finish();
}

ServerCapabilities::Tools Coder<ServerCapabilities::Tools>::decode(const Decoder& decoder) {
    return {.listChanged = decoder.decodeIfPresent<bool>("listChanged")};
}

Value Coder<ServerCapabilities>::encode(const ServerCapabilities& capabilities) {
    return ObjectEncoder()
        .setIfPresent("logging", capabilities.logging)
        .setIfPresent("prompts", capabilities.prompts)
        .setIfPresent("resources", capabilities.resources)
        .setIfPresent("sampling", capabilities.sampling)
        .setIfPresent("tools", capabilities.tools)
        .finish();
}

ServerCapabilities Coder<ServerCapabilities>::decode(const Decoder& decoder) {
    return {
        .logging = decoder.decodeIfPresent<ServerCapabilities::Logging>("logging"),
        .prompts = decoder.decodeIfPresent<ServerCapabilities::Prompts>("prompts"),
        .resources = decoder.decodeIfPresent<ServerCapabilities::Resources>("resources"),
        .sampling = decoder.decodeIfPresent<ServerCapabilities::Sampling>("sampling"),
        .tools = decoder.decodeIfPresent<ServerCapabilities::Tools>("tools"),
    };
}

}  // namespace lumenary::mcp
