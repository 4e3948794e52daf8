#include "mcp/core/server_configuration.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::mcp {

std::size_t ServerConfiguration::hash() const noexcept {
    Hasher hasher;
    hasher.combine(strict ? 1U : 0U);
    return hasher.finalize();
}

Value Coder<ServerConfiguration>::encode(const ServerConfiguration& configuration) {
    return ObjectEncoder().set("strict", configuration.strict).finish();
}

ServerConfiguration Coder<ServerConfiguration>::decode(const Decoder& decoder) {
    return {.strict = decoder.decode<bool>("strict")};
}

}  // namespace lumenary::mcp
