#include "platform/applications/script_runner.hpp"

namespace lumenary::platform {

namespace {

constexpr const char* unavailableMessage =
    "Running scripts in desktop applications is not available on this platform.";

}  // namespace

ScriptRunResult UnavailableScriptRunner::run(const std::string&) {
    ScriptRunResult result;
    result.kind = ScriptRunResult::Kind::failed;
    result.errorMessage = unavailableMessage;
    result.errorDescription = unavailableMessage;
    return result;
}

std::string escapedForScriptString(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char character : value) {
        if (character == '\\' || character == '"') {
            escaped += '\\';
        }
        escaped += character;
    }
    return escaped;
}

}  // namespace lumenary::platform
