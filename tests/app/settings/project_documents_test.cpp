#include "app/settings/project_documents.hpp"

#include <gtest/gtest.h>

namespace lumenary::app {
namespace {

TEST(ProjectDocuments, TheShareTextNamesLinuxAndOffersADownloadOnlyWithAnAddress) {
    EXPECT_EQ(shareText("https://example.org/lumenary"),
              "推荐一个好用的 MCP 工具 - Lumenary，连接 AI 助手与 Linux 原生能力，点击下载可体验\n"
              "https://example.org/lumenary");
    EXPECT_EQ(shareText(""), "推荐一个好用的 MCP 工具 - Lumenary，连接 AI 助手与 Linux 原生能力");
}

TEST(ProjectDocuments, DocumentsOpenTheProjectAddressElseTheSourceReadme) {
    EXPECT_EQ(documentAddress("https://example.org/lumenary", "/src/README.md"), "https://example.org/lumenary");
    EXPECT_EQ(documentAddress("", "/home/a b/lumenary/README.md"), "file:///home/a%20b/lumenary/README.md");
    EXPECT_TRUE(sourceReadmePath().ends_with("/README.md"));
}

}  // namespace
}  // namespace lumenary::app
