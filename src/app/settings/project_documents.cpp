#include "app/settings/project_documents.hpp"

#include "platform/text/percent_encoding.hpp"

namespace lumenary::app {

std::string buildProjectAddress() {
    return LUMENARY_PROJECT_URL;
}

std::string sourceReadmePath() {
    return LUMENARY_SOURCE_README;
}

std::string documentAddress(std::string_view projectAddress, std::string_view readmePath) {
    if (!projectAddress.empty()) {
        return std::string(projectAddress);
    }
    return "file://" + platform::percentEncoded(readmePath, "/");
}

std::string shareText(std::string_view projectAddress) {
    std::string text = "推荐一个好用的 MCP 工具 - Lumenary，连接 AI 助手与 Linux 原生能力";
    if (!projectAddress.empty()) {
        text += "，点击下载可体验\n";
        text += projectAddress;
    }
    return text;
}

}  // namespace lumenary::app
