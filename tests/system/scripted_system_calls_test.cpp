#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "system/file_descriptor.hpp"
#include "system/system_calls.hpp"

namespace lumenary::system {
namespace {

std::span<const std::byte> bytesOfText(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

// A table whose writes, reads and closes answer from a script: a number is a
// count taken (at most what was offered), a negative one fails with that
// errno. Every call is recorded with what it was offered.
class ScriptedCalls {
public:
    struct Call {
        std::string bytes;
        off_t offset;
    };

    ScriptedCalls() {
        calls_ = SystemCalls::platform();
        calls_.write = [this](int, const void* buffer, std::size_t count) { return next(buffer, count, -1); };
        calls_.pwrite = [this](int, const void* buffer, std::size_t count, off_t offset) {
            return next(buffer, count, offset);
        };
        calls_.read = [this](int, void*, std::size_t count) { return next(nullptr, count, -1); };
        calls_.close = [this](int) { return static_cast<int>(next(nullptr, 0, -1)); };
        calls_.ftruncate = [this](int, off_t) { return static_cast<int>(next(nullptr, 0, -1)); };
    }

    std::deque<ssize_t> script;
    std::vector<Call> made;
    const SystemCalls& table() const { return calls_; }

private:
    ssize_t next(const void* buffer, std::size_t count, off_t offset) {
        made.push_back({buffer ? std::string(static_cast<const char*>(buffer), count) : std::string(), offset});
        if (script.empty()) {
            ADD_FAILURE() << "a call beyond the script";
            errno = EIO;
            return -1;
        }
        const ssize_t answer = script.front();
        script.pop_front();
        if (answer < 0) {
            errno = static_cast<int>(-answer);
            return -1;
        }
        return std::min(answer, static_cast<ssize_t>(count));
    }

    SystemCalls calls_;
};

struct ScriptedWriteAllCase {
    const char* name;
    std::deque<ssize_t> script;
    std::vector<std::string> offered;
    std::optional<int> failure;  // the errno it ends with, else the full count
};

class WriteAllScripted : public ::testing::TestWithParam<ScriptedWriteAllCase> {};

TEST_P(WriteAllScripted, WritesEachRemainderUntilDoneOrFailed) {
    ScriptedCalls scripted;
    scripted.script = GetParam().script;
    const ScopedSystemCalls inForce(scripted.table());

    const auto written = FileDescriptor(9)._writeAll(bytesOfText("abcdef"));

    std::vector<std::string> offered;
    for (const auto& call : scripted.made) offered.push_back(call.bytes);
    EXPECT_EQ(offered, GetParam().offered);
    EXPECT_TRUE(scripted.script.empty()) << "the whole script is used";
    if (GetParam().failure) {
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error(), Errno{*GetParam().failure});
    } else {
        ASSERT_TRUE(written);
        EXPECT_EQ(written.value(), 6u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, WriteAllScripted,
    ::testing::Values(ScriptedWriteAllCase{"OneWrite", {6}, {"abcdef"}, std::nullopt},
                      ScriptedWriteAllCase{"PartialWrites", {2, 1, 3}, {"abcdef", "cdef", "def"}, std::nullopt},
                      ScriptedWriteAllCase{"RunOfInterrupts",
                                           {-EINTR, -EINTR, -EINTR, 4, -EINTR, 2},
                                           {"abcdef", "abcdef", "abcdef", "abcdef", "ef", "ef"},
                                           std::nullopt},
                      ScriptedWriteAllCase{"FailureAfterPartialWrite", {3, -ENOSPC}, {"abcdef", "def"}, ENOSPC},
                      // Taking nothing of a non-empty remainder would loop for ever.
                      ScriptedWriteAllCase{"WriteThatTakesNothing", {2, 0}, {"abcdef", "cdef"}, EIO}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(WriteAllScripted, AnEmptyBufferMakesNoCall) {
    ScriptedCalls scripted;
    const ScopedSystemCalls inForce(scripted.table());
    EXPECT_EQ(FileDescriptor(9)._writeAll(std::span<const std::byte>()).value(), 0u);
    EXPECT_EQ(FileDescriptor(9)._writeAll(0, std::string()).value(), 0u);
    EXPECT_TRUE(scripted.made.empty());
}

TEST(WriteAllScripted, PositionedWritesMoveTheirOffsetByWhatWasWritten) {
    ScriptedCalls scripted;
    scripted.script = {2, -EINTR, 1, 3};
    const ScopedSystemCalls inForce(scripted.table());
    EXPECT_EQ(FileDescriptor(9)._writeAll(100, bytesOfText("abcdef")).value(), 6u);
    std::vector<off_t> offsets;
    for (const auto& call : scripted.made) offsets.push_back(call.offset);
    EXPECT_EQ(offsets, (std::vector<off_t>{100, 102, 102, 103}));
}

struct InterruptCase {
    const char* name;
    bool retryOnInterrupt;
    std::size_t callsMade;
};

class SingleCallOnInterrupt : public ::testing::TestWithParam<InterruptCase> {};

// Two interruptions, then success: repeated only when asked.
TEST_P(SingleCallOnInterrupt, RepeatsOnlyWhenAsked) {
    const bool retry = GetParam().retryOnInterrupt;
    const auto check = [&](auto operation) {
        ScriptedCalls scripted;
        scripted.script = {-EINTR, -EINTR, 1};
        const ScopedSystemCalls inForce(scripted.table());
        const bool succeeded = operation();
        EXPECT_EQ(succeeded, retry);
        EXPECT_EQ(scripted.made.size(), GetParam().callsMade);
    };
    std::byte buffer[1];
    check([&] { return FileDescriptor(9)._read(buffer, retry).hasValue(); });
    check([&] { return FileDescriptor(9)._write(bytesOfText("x"), retry).hasValue(); });
    check([&] { return FileDescriptor(9)._write(5, bytesOfText("x"), retry).hasValue(); });
    check([&] { return FileDescriptor(9)._resize(0, retry).hasValue(); });
}

INSTANTIATE_TEST_SUITE_P(Modes, SingleCallOnInterrupt,
                         ::testing::Values(InterruptCase{"Retrying", true, 3}, InterruptCase{"NotRetrying", false, 1}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// The descriptor is gone even when close reports EINTR; a second close could
// close a descriptor another thread has just been given.
TEST(CloseScripted, IsNeverRepeated) {
    ScriptedCalls scripted;
    scripted.script = {-EINTR};
    const ScopedSystemCalls inForce(scripted.table());
    const auto closed = FileDescriptor(9)._close();
    ASSERT_FALSE(closed);
    EXPECT_EQ(closed.error(), Errno::interrupted);
    EXPECT_EQ(scripted.made.size(), 1u);
}

}  // namespace
}  // namespace lumenary::system
