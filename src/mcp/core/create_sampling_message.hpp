#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mcp/core/decoder.hpp"
#include "mcp/core/sampling.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// "sampling/createMessage": a server asks the client's model for one message.
struct CreateSamplingMessage {
    static constexpr std::string_view name = "sampling/createMessage";

    struct Parameters {
        std::vector<Sampling::Message> messages = {};
        std::optional<Sampling::ModelPreferences> modelPreferences = std::nullopt;
        std::optional<std::string> systemPrompt = std::nullopt;
        std::optional<Sampling::ContextInclusion> includeContext = std::nullopt;
        std::optional<double> temperature = std::nullopt;
        std::int64_t maxTokens = 0;
        std::optional<std::vector<std::string>> stopSequences = std::nullopt;
        std::optional<std::map<std::string, Value>> metadata = std::nullopt;

        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::string model;
        std::optional<Sampling::StopReason> stopReason = std::nullopt;
        Sampling::Message::Role role = Sampling::Message::Role::assistant;
        Sampling::Message::Content content = {};

        friend bool operator==(const Result&, const Result&) = default;
    };
};

template <>
struct Coder<CreateSamplingMessage::Parameters> {
    static Value encode(const CreateSamplingMessage::Parameters& parameters);
    static CreateSamplingMessage::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<CreateSamplingMessage::Result> {
    static Value encode(const CreateSamplingMessage::Result& result);
    static CreateSamplingMessage::Result decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
