#include "support/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <stdexcept>
#include <system_error>
#include <utility>

extern char** environ;

namespace lumenary::testing {

namespace {

int remainingMilliseconds(ChildProcess::Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ChildProcess::Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, int standardInput,
                           const std::string& standardErrorPath, bool ownProcessGroup) {
    int toChild[2] = {-1, -1};
    int fromChild[2];
    if ((standardInput < 0 && ::pipe2(toChild, O_CLOEXEC) != 0) || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, standardInput < 0 ? toChild[0] : standardInput, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    if (!standardErrorPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardErrorPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }

    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownProcessGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    const int result = ::posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (toChild[0] >= 0) ::close(toChild[0]);
    ::close(fromChild[1]);
    if (result != 0) {
        if (toChild[1] >= 0) ::close(toChild[1]);
        ::close(fromChild[0]);
        throw std::system_error(result, std::generic_category(), "posix_spawn " + arguments.at(0));
    }
    input_ = toChild[1];
    output_ = fromChild[0];
    // Tests write while the child may have stopped reading.
    ::signal(SIGPIPE, SIG_IGN);
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0 && !exitStatus_) {
        ::kill(pid_, number);
    }
}

ChildProcess::~ChildProcess() {
    closeInput();
    if (output_ >= 0) ::close(output_);
    if (pid_ > 0 && !exitStatus_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(input_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void ChildProcess::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

bool ChildProcess::fill(Clock::time_point deadline) {
    if (outputEnded_) return false;
    pollfd poller{output_, POLLIN, 0};
    const int ready = ::poll(&poller, 1, remainingMilliseconds(deadline));
    if (ready <= 0) return false;
    char chunk[65536];
    const ssize_t count = ::read(output_, chunk, sizeof chunk);
    if (count <= 0) {
        outputEnded_ = true;
        return false;
    }
    buffered_.append(chunk, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        if (!fill(deadline)) return std::nullopt;
    }
}

std::string ChildProcess::readAll(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (fill(deadline)) {
    }
    return std::exchange(buffered_, std::string());
}

bool ChildProcess::staysQuiet(std::chrono::milliseconds quietFor) {
    if (!buffered_.empty()) return false;
    pollfd poller{output_, POLLIN, 0};
    return ::poll(&poller, 1, static_cast<int>(quietFor.count())) == 0;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (exitStatus_) return exitStatus_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitStatus_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        // waitpid has no timeout; a short nap between checks bounds the wait.
        ::usleep(2000);
    }
}

std::string siblingProgram(const std::string& name) {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) throw std::runtime_error("cannot find the running test program");
    std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + name;
}

}  // namespace lumenary::testing
