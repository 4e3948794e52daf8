#include "mcp/core/server_info.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::mcp {

std::size_t ServerInfo::hash() const noexcept {
    Hasher hasher;
    hasher.combine(name);
    hasher.combine(version);
    return hasher.finalize();
}

Value Coder<ServerInfo>::encode(const ServerInfo& info) {
    return ObjectEncoder().set("name", info.name).set("version", info.version).finish();
}

ServerInfo Coder<ServerInfo>::decode(const Decoder& decoder) {
    return {decoder.decode<std::string>("name"), decoder.decode<std::string>("version")};
}

}  // namespace lumenary::mcp
