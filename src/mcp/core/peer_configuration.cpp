#include "mcp/core/peer_configuration.hpp"

#include "mcp/core/coders.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

std::size_t PeerConfiguration::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(strict ? 1U : 0U);
    return hasher.finalize();
}

Value Coder<PeerConfiguration>::encode(const PeerConfiguration& configuration) {
    return ObjectEncoder().set("strict", configuration.strict).finish();
}

PeerConfiguration Coder<PeerConfiguration>::decode(const Decoder& decoder) {
    return {.strict = decoder.decode<bool>("strict")};
}

}  // namespace lumenary::mcp
