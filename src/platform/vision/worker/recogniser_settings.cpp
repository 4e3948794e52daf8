#include "platform/vision/worker/recogniser_settings.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <tesseract/baseapi.h>

namespace lumenary::platform::vision {
namespace {

// The names the library lists, one a line, its name first and a tab after.
std::vector<std::string> settingNames(const tesseract::TessBaseAPI& api) {
    char* listed = nullptr;
    std::size_t size = 0;
    FILE* stream = open_memstream(&listed, &size);
    if (stream == nullptr) {
        return {};
    }
    api.PrintVariables(stream);
    std::fclose(stream);
    const std::unique_ptr<char, decltype(&std::free)> owned(listed, &std::free);
    std::vector<std::string> names;
    std::istringstream lines(std::string(listed, size));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0) {
            names.push_back(line.substr(0, tab));
        }
    }
    return names;
}

}  // namespace

RecogniserSettings recogniserSettings(const tesseract::TessBaseAPI& api) {
    RecogniserSettings settings;
    for (std::string& name : settingNames(api)) {
        int whole = 0;
        bool flag = false;
        double number = 0;
        if (api.GetIntVariable(name.c_str(), &whole)) {
            settings.emplace_back(std::move(name), std::to_string(whole));
        } else if (api.GetBoolVariable(name.c_str(), &flag)) {
            settings.emplace_back(std::move(name), flag ? "1" : "0");
        } else if (api.GetDoubleVariable(name.c_str(), &number)) {
            // Seventeen digits give the same double back.
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", number);
            settings.emplace_back(std::move(name), text);
        } else if (const char* value = api.GetStringVariable(name.c_str())) {
            settings.emplace_back(std::move(name), value);
        }
    }
    return settings;
}

void restoreRecogniserSettings(tesseract::TessBaseAPI& api, const RecogniserSettings& settings) {
    for (const auto& [name, value] : settings) {
        api.SetVariable(name.c_str(), value.c_str());
    }
}

}  // namespace lumenary::platform::vision
