#include "platform/desktop/borrowed_key_record.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <thread>

#include "platform/files/bounded_file_reader.hpp"
#include "system/errno.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform {

namespace {

using namespace std::chrono_literals;

// A core keyboard map has at most 248 keys: a longer file is not ours.
constexpr std::uintmax_t maximumRecordBytes = 64 * 1024;
// Another program of ours holds the lock for a few round trips to the X
// server; one that holds it longer is stopped or hung, and typing fails
// rather than waiting on it.
constexpr std::chrono::milliseconds lockPatience{2'000};
constexpr std::chrono::milliseconds lockRetry{5};

std::string failure(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + system::Errno::current().description();
}

std::optional<std::string> privateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return failure("cannot make the folder", folder);
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        return failure("cannot read the folder", folder);
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & 077) != 0) {
        return folder.string() + " is not a folder of this user's that only they may use";
    }
    return std::nullopt;
}

template <typename Number>
bool readNumber(std::string_view& text, Number& number, int base = 10) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return false;
    }
    text.remove_prefix(start);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (error != std::errc() || (end != text.data() + text.size() && *end != ' ')) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

// "code pid start-time plain shifted", the keysyms in hexadecimal.
std::optional<RecordedKey> readLine(std::string_view line) {
    RecordedKey key;
    if (!readNumber(line, key.code) || !readNumber(line, key.owner.pid) || !readNumber(line, key.owner.startTime) ||
        !readNumber(line, key.symbols[0], 16) || !readNumber(line, key.symbols[1], 16) ||
        line.find_first_not_of(' ') != std::string_view::npos) {
        return std::nullopt;
    }
    if (key.code < 8 || key.code > 255 || key.owner.pid <= 0) {
        return std::nullopt;
    }
    return key;
}

std::string lineOf(const RecordedKey& key) {
    char symbols[32];
    std::snprintf(symbols, sizeof symbols, "%x %x", key.symbols[0], key.symbols[1]);
    return std::to_string(key.code) + " " + std::to_string(key.owner.pid) + " " +
           std::to_string(key.owner.startTime) + " " + symbols + "\n";
}

std::filesystem::path folderForRecords() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] == '/'
               ? std::filesystem::path(runtime) / "lumenary"
               : std::filesystem::path("/tmp") / ("lumenary-" + std::to_string(::geteuid()));
}

}  // namespace

std::variant<std::filesystem::path, std::string> borrowedKeyFolder() {
    const auto folder = folderForRecords();
    if (auto problem = privateFolder(folder)) {
        return std::move(*problem);
    }
    return folder;
}

bool borrowedKeyRecordExists(std::string_view display) {
    std::error_code unreadable;
    return std::filesystem::exists(borrowedKeyRecordFile(folderForRecords(), display), unreadable);
}

std::filesystem::path borrowedKeyRecordFile(const std::filesystem::path& folder, std::string_view display) {
    // ":0" and ":0.1" are screens of one server, which has one keyboard map.
    if (const auto colon = display.rfind(':'); colon != std::string_view::npos) {
        if (const auto dot = display.find('.', colon); dot != std::string_view::npos) {
            display = display.substr(0, dot);
        }
    }
    std::string name = "borrowed-keys-";
    for (const char letter : display) {
        const bool plain = (letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z') ||
                           (letter >= '0' && letter <= '9') || letter == '-' || letter == '.';
        name += plain ? letter : '_';
    }
    return folder / name;
}

std::variant<BorrowedKeyRecord, std::string> BorrowedKeyRecord::open(const std::filesystem::path& file) {
    auto lockPath = file;
    lockPath += ".lock";
    system::OwnedDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.isOpen()) {
        return failure("cannot open the lock", lockPath);
    }
    const auto deadline = std::chrono::steady_clock::now() + lockPatience;
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return failure("cannot lock", lockPath);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return lockPath.string() + " stays locked by another program";
        }
        std::this_thread::sleep_for(lockRetry);
    }
    BorrowedKeyRecord record(file, std::move(lock));
    auto bytes = readBoundedBytes(file, maximumRecordBytes);
    if (const auto* unread = std::get_if<BoundedReadFailure>(&bytes)) {
        if (unread->reason == BoundedReadFailure::Reason::cannotOpen && unread->errorNumber == ENOENT) {
            return record;
        }
        return "cannot read " + file.string();
    }
    std::string_view text = std::get<std::string>(bytes);
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        if (auto key = readLine(text.substr(0, end))) {
            record.keys.push_back(*key);
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return record;
}

std::optional<std::string> BorrowedKeyRecord::save() const {
    if (keys.empty()) {
        if (::unlink(file_.c_str()) != 0 && errno != ENOENT) {
            return failure("cannot remove", file_);
        }
        return std::nullopt;
    }
    std::string text;
    for (const auto& key : keys) {
        text += lineOf(key);
    }
    // Under the lock, so one temporary name serves every program of ours.
    auto temporary = file_;
    temporary += ".new";
    system::OwnedDescriptor written(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!written.isOpen()) {
        return failure("cannot create", temporary);
    }
    if (const int error = system::writeAll(written.get(), text); error != 0) {
        errno = error;
        auto problem = failure("cannot write", temporary);
        ::unlink(temporary.c_str());
        return problem;
    }
    if (::close(written.release()) != 0 || ::rename(temporary.c_str(), file_.c_str()) != 0) {
        auto problem = failure("cannot write", file_);
        ::unlink(temporary.c_str());
        return problem;
    }
    return std::nullopt;
}

}  // namespace lumenary::platform
