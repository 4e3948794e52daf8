// The vision category in the real program over standard input and output,
// switched on by the user's defaults, with its analyses in the real worker.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ZXing/BarcodeFormat.h>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

class VisionProgramTest : public ::testing::Test {
protected:
    VisionProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isVisionEnabled":true})";
    }
    ~VisionProgramTest() override { ::unsetenv("LUMENARY_CONFIG_DIR"); }

    std::string errors() const {
        std::ifstream file(folder.path() / "vision.err");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    lumenary::testing::TemporaryDirectory folder;
};

TEST_F(VisionProgramTest, ListsTheNineToolsAndReadsAQrCode) {
    const auto code = vision_test::writtenImage(
        folder.path() / "code.png", vision_test::drawnBarcode(ZXing::BarcodeFormat::QRCode, "https://example.org/q"));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine()) << errors();

    program.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})");
    const auto listed = program.readLine();
    ASSERT_TRUE(listed) << errors();
    const auto list = mcp::parseJSON(*listed);
    ASSERT_TRUE(list.find("result")) << *listed;
    int visionTools = 0;
    for (const auto& tool : *list.find("result")->find("tools")->arrayValue()) {
        visionTools += tool.find("name")->stringValue()->starts_with("vision_") ? 1 : 0;
    }
    EXPECT_EQ(visionTools, 9);

    const auto answer = testing::toolCallText(program, 3, "vision_detect_barcodes",
                                              R"({"image_path":")" + code + R"("})", std::chrono::seconds(30));
    const auto result = mcp::parseJSON(answer);
    ASSERT_EQ(result.find("count")->intValue(), 1) << answer << errors();
    const auto& barcode = result.find("barcodes")->arrayValue()->front();
    EXPECT_EQ(*barcode.find("payload")->stringValue(), "https://example.org/q") << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_EQ(program.readAll(), "") << "standard output carries only MCP messages";
}

TEST_F(VisionProgramTest, ReadsAChineseLineWithItsDigitsAndFullWidthMarks) {
    const std::string line = "总计：共3件，合计99.50元";
    const auto image = vision_test::writtenImage(
        folder.path() / "line.png", vision_test::renderedText({line}, vision_test::notoSansSimplifiedChinese(), 32));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "vision.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine()) << errors();

    const auto answer =
        testing::toolCallText(program, 2, "vision_recognize_text",
                              R"({"image_path":")" + image + R"(","languages":["zh-Hans"]})", std::chrono::seconds(60));
    const auto result = mcp::parseJSON(answer);
    ASSERT_TRUE(result.find("full_text")) << answer << errors();
    EXPECT_EQ(*result.find("full_text")->stringValue(), line) << answer;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
