#include "system/file_descriptor.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "support/temporary_directory.hpp"
#include "system/system_calls.hpp"

namespace lumenary::system {
namespace {

std::span<const std::byte> bytesOf(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

std::string readAll(FileDescriptor descriptor) {
    std::string text;
    std::byte buffer[4096];
    while (true) {
        const auto read = descriptor._read(buffer, true);
        if (!read || read.value() == 0) {
            return text;
        }
        text.append(reinterpret_cast<const char*>(buffer), read.value());
    }
}

class FileDescriptorOnDisk : public ::testing::Test {
protected:
    std::string pathOf(const std::string& name) const { return (folder_.path() / name).string(); }

    FileDescriptor create(const std::string& name, OpenOptions extra = {}) {
        auto opened = FileDescriptor::_open(pathOf(name).c_str(), AccessMode::readWrite,
                                            OpenOptions::create | OpenOptions::closeOnExec | extra,
                                            FilePermissions(0600), true);
        EXPECT_TRUE(opened) << (opened ? "" : opened.error().description());
        return opened.value();
    }

    testing::TemporaryDirectory folder_;
};

TEST_F(FileDescriptorOnDisk, OpeningAMissingFileWithoutCreateGivesENOENT) {
    const auto opened =
        FileDescriptor::_open(pathOf("missing").c_str(), AccessMode::readOnly, {}, std::nullopt, true);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(), Errno::noSuchFileOrDirectory);
}

TEST_F(FileDescriptorOnDisk, CreatingAFileUsesThePermissionsGiven) {
    const auto opened = FileDescriptor::_open(pathOf("made").c_str(), AccessMode::writeOnly,
                                              OpenOptions::create | OpenOptions::exclusiveCreate,
                                              FilePermissions(0600), true);
    ASSERT_TRUE(opened);
    struct stat status {};
    ASSERT_EQ(::fstat(opened.value().rawValue(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_TRUE(opened.value()._close());

    const auto again = FileDescriptor::_open(pathOf("made").c_str(), AccessMode::writeOnly,
                                             OpenOptions::create | OpenOptions::exclusiveCreate,
                                             FilePermissions(0600), true);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error(), Errno::fileExists);
}

// Names are bytes: one that is not UTF-8 opens like any other.
TEST_F(FileDescriptorOnDisk, ANameHoldingAByteThatIsNotUTF8Opens) {
    const FileDescriptor descriptor = create("name-\xFF");
    EXPECT_TRUE(descriptor._close());
    EXPECT_TRUE(std::filesystem::exists(folder_.path() / "name-\xFF"));
}

TEST_F(FileDescriptorOnDisk, WritesReadsAndSeeksThroughOneFile) {
    const FileDescriptor descriptor = create("data");
    ASSERT_EQ(descriptor._writeAll(bytesOf("hello world")).value(), 11u);
    EXPECT_EQ(descriptor._seek(0, SeekOrigin::end).value(), 11);
    EXPECT_EQ(descriptor._seek(-5, SeekOrigin::current).value(), 6);
    EXPECT_EQ(descriptor._seek(0, SeekOrigin::start).value(), 0);
    EXPECT_EQ(readAll(descriptor), "hello world");

    std::byte buffer[8];
    EXPECT_EQ(descriptor._read(buffer, true).value(), 0u) << "at the end of the file";
    ASSERT_EQ(descriptor._read(6, buffer, true).value(), 5u);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer), 5), "world");

    ASSERT_EQ(descriptor._writeAll(0, bytesOf("J")).value(), 1u);
    ASSERT_EQ(descriptor._write(1, bytesOf("E"), true).value(), 1u);
    EXPECT_EQ(descriptor._seek(0, SeekOrigin::current).value(), 11) << "positioned writes leave the offset";
    ASSERT_EQ(descriptor._read(0, buffer, true).value(), 8u);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer), 5), "JEllo");
    EXPECT_TRUE(descriptor._close());
}

TEST_F(FileDescriptorOnDisk, WriteAllTakesAnyRangeOfBytes) {
    const FileDescriptor descriptor = create("ranges");
    const std::list<char> scattered{'a', 'b', 'c'};
    const std::deque<unsigned char> queued{'d', 'e'};
    EXPECT_EQ(descriptor._writeAll(scattered).value(), 3u);
    EXPECT_EQ(descriptor._writeAll(queued).value(), 2u);
    EXPECT_EQ(descriptor._writeAll(std::string("fg")).value(), 2u);
    EXPECT_EQ(descriptor._writeAll(7, std::string("h")).value(), 1u);
    EXPECT_EQ(descriptor._read(0, {}, true).value(), 0u) << "an empty buffer reads nothing";
    descriptor._seek(0, SeekOrigin::start);
    EXPECT_EQ(readAll(descriptor), "abcdefgh");
    EXPECT_TRUE(descriptor._close());
}

// Growing leaves a hole; seeking for data past the last data is ENXIO, and a
// file system without hole tracking answers a hole seek with the end.
TEST_F(FileDescriptorOnDisk, ResizingGrowsWithAHoleThatSeeksFind) {
    const FileDescriptor descriptor = create("sparse");
    constexpr std::int64_t size = 1 << 20;
    ASSERT_EQ(descriptor._writeAll(bytesOf("data")).value(), 4u);
    ASSERT_TRUE(descriptor._resize(size, true));
    EXPECT_EQ(descriptor._seek(0, SeekOrigin::end).value(), size);

    const auto hole = descriptor._seek(0, SeekOrigin::nextHole);
    ASSERT_TRUE(hole);
    EXPECT_TRUE(hole.value() < size || hole.value() == size) << hole.value();
    EXPECT_EQ(descriptor._seek(0, SeekOrigin::nextData).value(), 0);
    const auto pastData = descriptor._seek(size, SeekOrigin::nextData);
    ASSERT_FALSE(pastData);
    EXPECT_EQ(pastData.error(), Errno::noSuchAddressOrDevice);
    EXPECT_TRUE(descriptor._close());
}

TEST_F(FileDescriptorOnDisk, ResizingCannotGoNegativeNorResizeAReadOnlyDescriptor) {
    const FileDescriptor writable = create("resized");
    const auto negative = writable._resize(-1, true);
    ASSERT_FALSE(negative);
    EXPECT_EQ(negative.error(), Errno::invalidArgument);
    EXPECT_TRUE(writable._close());

    const auto readOnly =
        FileDescriptor::_open(pathOf("resized").c_str(), AccessMode::readOnly, {}, std::nullopt, true);
    ASSERT_TRUE(readOnly);
    const auto resized = readOnly.value()._resize(10, true);
    ASSERT_FALSE(resized);
    EXPECT_EQ(resized.error(), Errno::invalidArgument);
    EXPECT_TRUE(readOnly.value()._close());
}

TEST(FileDescriptorPipe, SeekingOrResizingAPipeFails) {
    const auto pipe = FileDescriptor::_pipe();
    ASSERT_TRUE(pipe);
    const auto [readEnd, writeEnd] = pipe.value();
    EXPECT_EQ(writeEnd._writeAll(bytesOf("through")).value(), 7u);
    EXPECT_TRUE(writeEnd._close());
    EXPECT_EQ(readAll(readEnd), "through") << "the first end is the read end";

    const auto seek = readEnd._seek(0, SeekOrigin::start);
    ASSERT_FALSE(seek);
    EXPECT_EQ(seek.error(), Errno::illegalSeek);
    const auto resize = readEnd._resize(0, true);
    ASSERT_FALSE(resize);
    EXPECT_EQ(resize.error(), Errno::invalidArgument);
    EXPECT_TRUE(readEnd._close());
}

TEST(FileDescriptorDuplicate, TakesTheLowestFreeNumberOrTheTargetGiven) {
    const auto [readEnd, writeEnd] = FileDescriptor::_pipe().value();
    const int expected = ::fcntl(0, F_DUPFD, 0);  // the lowest free number, as the system sees it
    ::close(expected);
    const auto again = readEnd._duplicate(std::nullopt, true).value();
    EXPECT_EQ(again.rawValue(), expected);

    const auto onto = writeEnd._duplicate(again, true);
    ASSERT_TRUE(onto);
    EXPECT_EQ(onto.value(), again);
    EXPECT_EQ(::fcntl(again.rawValue(), F_GETFL) & O_ACCMODE, O_WRONLY) << "the target now holds the write end";

    const auto ontoItself = writeEnd._duplicate(writeEnd, true);
    ASSERT_TRUE(ontoItself);
    EXPECT_EQ(ontoItself.value(), writeEnd);
    EXPECT_NE(::fcntl(writeEnd.rawValue(), F_GETFD), -1) << "duplicating onto itself closes nothing";

    for (const FileDescriptor descriptor : {readEnd, writeEnd, again}) EXPECT_TRUE(descriptor._close());
}

TEST(FileDescriptorCloseAfter, ClosesOnEveryPathAndReportsAFailedCloseOnlyAfterSuccess) {
    auto [readEnd, writeEnd] = FileDescriptor::_pipe().value();
    EXPECT_EQ(readEnd.closeAfter([] { return 7; }), 7);
    EXPECT_EQ(::fcntl(readEnd.rawValue(), F_GETFD), -1) << "closed after the body";

    try {
        readEnd.closeAfter([] { return 7; });
        ADD_FAILURE() << "closing a closed descriptor must throw";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), Errno::badFileDescriptor.errorCode());
    }

    EXPECT_THROW(readEnd.closeAfter([]() -> int { throw std::logic_error("body"); }), std::logic_error)
        << "the body's failure passes unchanged, the close's is dropped";

    EXPECT_THROW(writeEnd.closeAfter([] { throw std::runtime_error("body"); }), std::runtime_error);
    EXPECT_EQ(::fcntl(writeEnd.rawValue(), F_GETFD), -1) << "closed when the body failed";
}

TEST(FileDescriptorOpenDeathTest, CreatingWithoutPermissionsStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(FileDescriptor::_open("/tmp/never", AccessMode::writeOnly, OpenOptions::create, std::nullopt, true),
                 "Fatal error: FileDescriptor._open: creating a file requires permissions");
    EXPECT_DEATH(FileDescriptor::_open("/tmp", AccessMode::readWrite, OpenOptions(O_TMPFILE), std::nullopt, true),
                 "creating a file requires permissions");
}

// The real kernel interrupts a read blocked on an empty pipe when a handler
// was installed without SA_RESTART.
class InterruptedRead : public ::testing::Test {
protected:
    void SetUp() override {
        struct sigaction action {};
        action.sa_handler = [](int) { handled.fetch_add(1); };
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous_), 0);
        handled = 0;
    }
    void TearDown() override { ::sigaction(SIGUSR1, &previous_, nullptr); }

    // Signals `thread` until `done` or the deadline; each signal waits to be handled.
    static void signalUntil(pthread_t thread, const std::atomic<bool>& done, int atLeast = 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((!done || handled < atLeast) && std::chrono::steady_clock::now() < deadline) {
            const int before = handled;
            ::pthread_kill(thread, SIGUSR1);
            while (handled == before && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            if (atLeast > 0 && handled >= atLeast) return;
        }
    }

    static inline std::atomic<int> handled{0};
    struct sigaction previous_ {};
};

TEST_F(InterruptedRead, ReturnsEINTRWhenNotRetrying) {
    const auto [readEnd, writeEnd] = FileDescriptor::_pipe().value();
    std::atomic<bool> done = false;
    std::optional<SystemCallResult<std::size_t>> result;
    std::thread reader([&, readEnd = readEnd] {
        std::byte buffer[1];
        result = readEnd._read(buffer, false);
        done = true;
    });
    signalUntil(reader.native_handle(), done);
    if (!done) static_cast<void>(writeEnd._writeAll(bytesOf("x")));  // release the reader on failure
    reader.join();
    ASSERT_TRUE(result.has_value());
    ASSERT_FALSE(*result);
    EXPECT_EQ(result->error(), Errno::interrupted);
    EXPECT_TRUE(readEnd._close());
    EXPECT_TRUE(writeEnd._close());
}

TEST_F(InterruptedRead, IsRepeatedWhenRetrying) {
    const auto [readEnd, writeEnd] = FileDescriptor::_pipe().value();
    std::atomic<bool> done = false;
    std::optional<SystemCallResult<std::size_t>> result;
    std::thread reader([&, readEnd = readEnd] {
        std::byte buffer[1];
        result = readEnd._read(buffer, true);
        done = true;
    });
    signalUntil(reader.native_handle(), done, 5);
    EXPECT_FALSE(done) << "the read must still be waiting after five signals";
    ASSERT_EQ(writeEnd._writeAll(bytesOf("x")).value(), 1u);
    reader.join();
    ASSERT_TRUE(result.has_value() && *result);
    EXPECT_EQ(result->value(), 1u);
    EXPECT_TRUE(readEnd._close());
    EXPECT_TRUE(writeEnd._close());
}

}  // namespace
}  // namespace lumenary::system
