#pragma once

#include <variant>

#include <asio/awaitable.hpp>

#include "mcp/client/client.hpp"

namespace lumenary::interop {

// Our client's answer when a server asks it to sample: the first message's
// text echoed back as a model would.
inline asio::awaitable<mcp::CreateSamplingMessage::Result> answerAsModel(
    mcp::CreateSamplingMessage::Parameters parameters) {
    using namespace lumenary::mcp;
    const auto* question = parameters.messages.empty()
                               ? nullptr
                               : std::get_if<Sampling::Message::TextContent>(&parameters.messages[0].content);
    co_return CreateSamplingMessage::Result{"stub-model", Sampling::StopReason::endTurn(),
                                            Sampling::Message::Role::assistant,
                                            Sampling::Message::TextContent{"echo " + (question ? question->text : "")}};
}

}  // namespace lumenary::interop
