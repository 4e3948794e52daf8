#include "mcp/client/client_configuration.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::mcp {

std::size_t ClientConfiguration::hash() const noexcept {
    Hasher hasher;
    hasher.combine(strict ? 1U : 0U);
    return hasher.finalize();
}

Value Coder<ClientConfiguration>::encode(const ClientConfiguration& configuration) {
    return ObjectEncoder().set("strict", configuration.strict).finish();
}

ClientConfiguration Coder<ClientConfiguration>::decode(const Decoder& decoder) {
    return {.strict = decoder.decode<bool>("strict")};
}

}  // namespace lumenary::mcp
