#include "mcp/core/create_sampling_message.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/method.hpp"

namespace lumenary::mcp {

static_assert(Method<CreateSamplingMessage>);

Value Coder<CreateSamplingMessage::Parameters>::encode(const CreateSamplingMessage::Parameters& parameters) {
    return ObjectEncoder()
        .set("messages", parameters.messages)
        .setIfPresent("modelPreferences", parameters.modelPreferences)
        .setIfPresent("systemPrompt", parameters.systemPrompt)
        .setIfPresent("includeContext", parameters.includeContext)
        .setIfPresent("temperature", parameters.temperature)
        .set("maxTokens", parameters.maxTokens)
        .setIfPresent("stopSequences", parameters.stopSequences)
        .setIfPresent("metadata", parameters.metadata)
        .finish();
}

CreateSamplingMessage::Parameters Coder<CreateSamplingMessage::Parameters>::decode(const Decoder& decoder) {
    return {
        .messages = decoder.decode<std::vector<Sampling::Message>>("messages"),
        .modelPreferences = decoder.decodeIfPresent<Sampling::ModelPreferences>("modelPreferences"),
        .systemPrompt = decoder.decodeIfPresent<std::string>("systemPrompt"),
        .includeContext = decoder.decodeIfPresent<Sampling::ContextInclusion>("includeContext"),
        .temperature = decoder.decodeIfPresent<double>("temperature"),
        .maxTokens = decoder.decode<std::int64_t>("maxTokens"),
        .stopSequences = decoder.decodeIfPresent<std::vector<std::string>>("stopSequences"),
        .metadata = decoder.decodeIfPresent<std::map<std::string, Value>>("metadata"),
    };
}

Value Coder<CreateSamplingMessage::Result>::encode(const CreateSamplingMessage::Result& result) {
    return ObjectEncoder()
        .set("model", result.model)
        .setIfPresent("stopReason", result.stopReason)
        .set("role", result.role)
        .set("content", result.content)
        .finish();
}

CreateSamplingMessage::Result Coder<CreateSamplingMessage::Result>::decode(const Decoder& decoder) {
    return {
        .model = decoder.decode<std::string>("model"),
        .stopReason = decoder.decodeIfPresent<Sampling::StopReason>("stopReason"),
        .role = decoder.decode<Sampling::Message::Role>("role"),
        .content = decoder.decode<Sampling::Message::Content>("content"),
    };
}

}  // namespace lumenary::mcp
