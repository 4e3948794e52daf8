#include "app/host/panel_module.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::siblingProgram;
using lumenary::testing::TemporaryDirectory;

std::string testModule(const std::string& name) {
    return siblingProgram("panel-modules/" + name);
}

bool mapped(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(path) != std::string::npos;
}

TEST(PanelModule, AModuleThatFitsRunsWithTheProgramsArguments) {
    auto loaded = PanelModule::load(testModule("stand_in_panel_module.so"));
    ASSERT_TRUE(std::holds_alternative<PanelModule>(loaded))
        << std::get<PanelModuleUnavailable>(loaded).description;

    asio::io_context context;
    char name[] = "lumenary";
    char* argv[] = {name, nullptr};
    int argc = 1;
    bool stopRequested = false;
    const int status = std::get<PanelModule>(loaded).run(argc, argv, context, {}, [&] { stopRequested = true; });

    EXPECT_EQ(status, 41);
    EXPECT_TRUE(stopRequested);
}

TEST(PanelModule, AModuleThatDoesNotFitIsRefusedWithTheReasonAndLeftUnmapped) {
    TemporaryDirectory folder;
    const auto notALibrary = (folder.path() / "lumenary-panel.so").string();
    std::ofstream(notALibrary) << "not a library\n";
    struct Case {
        const char* name;
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", testModule("no-such-module.so"), "cannot open shared object file"},
        {"not a library", notALibrary, "file too short"},
        {"without the entry", testModule("panel_module_without_entry.so"), "undefined symbol: lumenary_run_panel"},
        {"needing a symbol the program lacks", testModule("panel_module_with_unbound_symbol.so"),
         "undefined symbol: lumenary_symbol_no_program_defines"},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.name);

        const auto loaded = PanelModule::load(given.path);

        ASSERT_TRUE(std::holds_alternative<PanelModuleUnavailable>(loaded));
        const auto& description = std::get<PanelModuleUnavailable>(loaded).description;
        EXPECT_NE(description.find(given.path), std::string::npos) << description;
        EXPECT_NE(description.find(given.reason), std::string::npos) << description;
        EXPECT_FALSE(mapped(given.path));
    }
}

}  // namespace
}  // namespace lumenary::app
