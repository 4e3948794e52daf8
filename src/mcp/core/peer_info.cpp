#include "mcp/core/peer_info.hpp"

#include "mcp/core/coders.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

std::size_t PeerInfo::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(name);
    hasher.combine(version);
    return hasher.finalize();
}

Value Coder<PeerInfo>::encode(const PeerInfo& info) {
    return ObjectEncoder().set("name", info.name).set("version", info.version).finish();
}

PeerInfo Coder<PeerInfo>::decode(const Decoder& decoder) {
    return {decoder.decode<std::string>("name"), decoder.decode<std::string>("version")};
}

}  // namespace lumenary::mcp
