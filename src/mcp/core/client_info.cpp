#include "mcp/core/client_info.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::mcp {

std::size_t ClientInfo::hash() const noexcept {
    Hasher hasher;
    hasher.combine(name);
    hasher.combine(version);
    return hasher.finalize();
}

Value Coder<ClientInfo>::encode(const ClientInfo& info) {
    return ObjectEncoder().set("name", info.name).set("version", info.version).finish();
}

ClientInfo Coder<ClientInfo>::decode(const Decoder& decoder) {
    return {decoder.decode<std::string>("name"), decoder.decode<std::string>("version")};
}

}  // namespace lumenary::mcp
