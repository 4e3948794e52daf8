#pragma once

#include <optional>
#include <string>

namespace lumenary::platform {

// What running one script in a scriptable application came to.
struct ScriptRunResult {
    enum class Kind {
        // No runnable script could be made from the text.
        notCreated,
        // The script ran to its end.
        succeeded,
        // The script or the application refused or failed.
        failed,
    };

    Kind kind = Kind::failed;
    // succeeded: the text value of the script's last statement, if any.
    std::optional<std::string> resultText;
    // failed: the runner's message, if it gave one.
    std::optional<std::string> errorMessage;
    // failed: a description of the whole failure, for callers that show
    // every detail the runner gave.
    std::string errorDescription;
};

// Runs a complete script text against a desktop application. Blocking:
// callers run it on the worker pool.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual ScriptRunResult run(const std::string& source) = 0;
};

// The runner of a platform without scriptable applications: every run
// fails with a message saying so.
class UnavailableScriptRunner final : public ScriptRunner {
public:
    ScriptRunResult run(const std::string& source) override;
};

// Text for a double-quoted string inside a script: a backslash before
// every backslash and every double quote.
std::string escapedForScriptString(const std::string& value);

}  // namespace lumenary::platform
