#include "platform/applications/xdg_mime.hpp"

#include <vector>

#include "platform/process/process_launcher.hpp"
#include "platform/text/plain_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::size_t xdgMimeOutputLimit = 4096;

// The last line xdg-mime printed; absent when it printed nothing, which it
// does whatever its status when it has no answer.
PlatformOutcome<std::optional<std::string>> xdgMimeAnswer(std::vector<std::string> arguments) {
    const ProcessLaunch launch{.executable = "xdg-mime",
                               .arguments = std::move(arguments),
                               .standardInput = std::nullopt,
                               .standardOutputLimit = xdgMimeOutputLimit,
                               .standardErrorLimit = xdgMimeOutputLimit,
                               .deadline = std::chrono::seconds(10)};
    const auto run = ProcessLauncher().run(launch);
    if (!run) {
        return run.error();
    }
    const auto output = system::repairUTF8(run.value().standardOutput.bytes);
    const auto answer = lastLine(output);
    if (answer.empty()) {
        return std::optional<std::string>();
    }
    return std::optional<std::string>(std::string(answer));
}

}  // namespace

PlatformOutcome<std::optional<std::string>> xdgMimeDefault(const std::string& mimeType) {
    return xdgMimeAnswer({"query", "default", mimeType});
}

PlatformOutcome<std::optional<std::string>> xdgMimeFileType(const std::filesystem::path& file) {
    auto answer = xdgMimeAnswer({"query", "filetype", file.string()});
    if (answer && answer.value()) {
        // "text/plain; charset=us-ascii" from some of its helpers
        auto& type = *answer.value();
        type = std::string(trimmedBlanks(std::string_view(type).substr(0, type.find(';'))));
        if (type.empty()) {
            return std::optional<std::string>();
        }
    }
    return answer;
}

}  // namespace lumenary::platform
