#include "mcp/core/handshake.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/version.hpp"

namespace lumenary::mcp {

Value Coder<Initialize::Parameters>::encode(const Initialize::Parameters& parameters) {
    return ObjectEncoder()
        .set("protocolVersion", parameters.protocolVersion)
        .set("capabilities", parameters.capabilities)
        .set("clientInfo", parameters.clientInfo)
        .finish();
}

Initialize::Parameters Coder<Initialize::Parameters>::decode(const Decoder& decoder) {
    Initialize::Parameters parameters;
    parameters.protocolVersion =
        decoder.decodeIfPresent<std::string>("protocolVersion").value_or(std::string(Version::latest()));
    parameters.capabilities =
        decoder.decodeIfPresent<ClientCapabilities>("capabilities").value_or(ClientCapabilities{});
    parameters.clientInfo = decoder.decodeIfPresent<ClientInfo>("clientInfo").value_or(ClientInfo{"unknown", "0.0.0"});
    return parameters;
}

Value Coder<Initialize::Result>::encode(const Initialize::Result& result) {
    return ObjectEncoder()
        .set("protocolVersion", result.protocolVersion)
        .set("capabilities", result.capabilities)
        .set("serverInfo", result.serverInfo)
        .setIfPresent("instructions", result.instructions)
        .finish();
}

Initialize::Result Coder<Initialize::Result>::decode(const Decoder& decoder) {
    return Initialize::Result{
        decoder.decode<std::string>("protocolVersion"),
        decoder.decode<ServerCapabilities>("capabilities"),
        decoder.decode<ServerInfo>("serverInfo"),
        decoder.decodeIfPresent<std::string>("instructions"),
    };
}

}  // namespace lumenary::mcp
