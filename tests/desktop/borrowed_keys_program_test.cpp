// The keys the real program borrows for characters the keyboard map has no
// key for, on a private Xvfb display that keeps its map when its clients
// leave (-noreset), as a person's desktop does: the map is theirs again
// after an orderly stop, after a kill once the next run has started, and a
// call that finds no key to borrow says what it did not type.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>

#include <fstream>
#include <memory>
#include <optional>
#include <set>

#include "app/host/program_test_support.hpp"
#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;

// Every key's row of keysyms, from the lowest keycode up.
using KeyRows = std::vector<std::vector<KeySym>>;

struct DisplayClosing {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayClosing>;

class Desktop : public ::testing::Environment {
public:
    static inline std::string skipReason;
    static inline std::unique_ptr<testing::DesktopSession> session;

    void SetUp() override {
        auto started = testing::DesktopSession::start();
        if (auto* reason = std::get_if<std::string>(&started)) {
            skipReason = *reason;
            return;
        }
        session = std::move(std::get<0>(started));
        if (auto bus = session->startAccessibilityBus(20s); bus.index() == 1) {
            skipReason = std::get<1>(bus);
        }
    }
    void TearDown() override { session.reset(); }
};

const auto* const desktop = ::testing::AddGlobalTestEnvironment(new Desktop);

DisplayConnection connect() {
    return DisplayConnection(XOpenDisplay(Desktop::session->display().c_str()));
}

KeyRows keyboardMap() {
    const auto display = connect();
    int minimum = 0;
    int maximum = 0;
    XDisplayKeycodes(display.get(), &minimum, &maximum);
    int perKeycode = 0;
    KeySym* symbols = XGetKeyboardMapping(display.get(), static_cast<KeyCode>(minimum), maximum - minimum + 1,
                                          &perKeycode);
    KeyRows rows;
    for (int key = 0; key <= maximum - minimum; ++key) {
        rows.emplace_back(symbols + key * perKeycode, symbols + (key + 1) * perKeycode);
    }
    XFree(symbols);
    return rows;
}

// The keys (as indices into the map) whose rows differ between the two maps.
std::set<std::size_t> changedKeys(const KeyRows& before, const KeyRows& after) {
    std::set<std::size_t> changed;
    for (std::size_t key = 0; key < before.size(); ++key) {
        if (before[key] != after[key]) {
            changed.insert(key);
        }
    }
    return changed;
}

// The real program with its desktop tools on, initialized, serving on a
// port and from a settings folder of its own, so that two can run at once.
class Program {
public:
    Program() {
        std::ofstream(folder_.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isMacOSEnabled":true})";
        process_.emplace(std::vector<std::string>{"/usr/bin/env", "LUMENARY_CONFIG_DIR=" + folder_.path().string(),
                                                  testing::siblingProgram("lumenary")});
        process_->writeLine(testing::initializeRequest);
        EXPECT_TRUE(process_->readLine(20s)) << "the program did not answer";
    }

    std::string type(const std::string& text) {
        const auto arguments = mcp::writeJSON(mcp::Value(mcp::Value::Object{{"text", text}}));
        return testing::toolCallText(*process_, ++id_, "macos_type_text", arguments, 30s);
    }

    // The exit status, or -1 when it did not end in time.
    int end(int signal) {
        process_->signal(signal);
        return process_->waitForExit(10s).value_or(-1);
    }

private:
    testing::TemporaryDirectory folder_;
    std::optional<ChildProcess> process_;
    int id_ = 1;
};

class BorrowedKeysProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Desktop::skipReason.empty()) {
            GTEST_SKIP() << "borrowed keys test skipped: " << Desktop::skipReason;
        }
        initial = keyboardMap();
    }

    KeyRows initial;
};

TEST_F(BorrowedKeysProgramTest, AnOrderlyStopGivesTheKeysBackAndAKilledRunsKeysGoBackWithTheNextRun) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        {
            Program first;
            EXPECT_EQ(first.type("жшщ ñ€ß ✓"), "Typed: жшщ ñ€ß ✓");
            EXPECT_FALSE(changedKeys(initial, keyboardMap()).empty());
            EXPECT_EQ(first.end(signal), signal == SIGKILL ? 128 + SIGKILL : 0);
        }
        if (signal == SIGKILL) {
            Program next;
            EXPECT_EQ(next.type("ы"), "Typed: ы");
            EXPECT_EQ(next.end(SIGTERM), 0);
        }
        EXPECT_EQ(changedKeys(initial, keyboardMap()), std::set<std::size_t>{});
    }
}

TEST_F(BorrowedKeysProgramTest, TwoRunningProgramsLeaveEachOthersKeysAlone) {
    Program first;
    EXPECT_EQ(first.type("жшщ"), "Typed: жшщ");
    const KeyRows firstKeys = keyboardMap();
    const auto borrowedByFirst = changedKeys(initial, firstKeys);
    ASSERT_FALSE(borrowedByFirst.empty());

    Program second;
    EXPECT_EQ(second.type("αβγδ"), "Typed: αβγδ");
    const KeyRows both = keyboardMap();
    for (const std::size_t key : borrowedByFirst) {
        EXPECT_EQ(both[key], firstKeys[key]) << "key " << key;
    }
    EXPECT_EQ(second.end(SIGTERM), 0);
    EXPECT_EQ(changedKeys(firstKeys, keyboardMap()), std::set<std::size_t>{});
    EXPECT_EQ(first.end(SIGTERM), 0);
    EXPECT_EQ(changedKeys(initial, keyboardMap()), std::set<std::size_t>{});
}

TEST_F(BorrowedKeysProgramTest, WithEveryFreeKeyTakenACallSaysWhatItDidNotTypeAndLeavesTheKeysAlone) {
    // Another client takes every key the map leaves empty.
    const auto display = connect();
    int minimum = 0;
    int maximum = 0;
    XDisplayKeycodes(display.get(), &minimum, &maximum);
    const std::vector<KeySym> emptyRow(initial.front().size(), NoSymbol);
    const auto setKey = [&](std::size_t key, KeySym symbol) {
        std::vector<KeySym> row = emptyRow;
        row[0] = symbol;
        XChangeKeyboardMapping(display.get(), minimum + static_cast<int>(key), static_cast<int>(row.size()),
                               row.data(), 1);
        XSync(display.get(), False);
    };
    std::vector<std::size_t> taken;
    for (std::size_t key = 0; key < initial.size(); ++key) {
        if (initial[key] == emptyRow) {
            setKey(key, 0x1002600 + key);
            taken.push_back(key);
        }
    }
    ASSERT_FALSE(taken.empty());
    const KeyRows othersMap = keyboardMap();

    Program program;
    EXPECT_EQ(program.type("añ€ß"),
              "Error: Stopped typing after 1 of 4 characters: typed \"a\", not typed \"ñ€ß\". \"ñ\" (U+00F1) has no "
              "key on the keyboard map, and no key is free to map it to: every key is in use by the keyboard or "
              "another program.");
    EXPECT_EQ(program.end(SIGTERM), 0);
    EXPECT_EQ(changedKeys(othersMap, keyboardMap()), std::set<std::size_t>{});
    for (const std::size_t key : taken) {
        setKey(key, NoSymbol);
    }
}

}  // namespace
}  // namespace lumenary
