// The tag worker program: reads the tags of the music files the server
// names, so that a file that crashes TagLib (or makes it spin) costs that
// file, not the server. Its standard output goes to the server's standard
// error, so requests and answers travel on descriptors of their own.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/music/tags/tag_request_server.hpp"
#include "platform/music/tags/taglib_tag_reader.hpp"
#include "platform/process/address_space_limit.hpp"
#include "platform/process/worker_process.hpp"
#include "system/standard_descriptors.hpp"

namespace {

// TagLib reads a tag's frames into memory: a file that claims gigabytes
// meets a failed allocation, an unreadable file, instead of the machine's
// memory.
constexpr std::uint64_t addressSpaceLimit = std::uint64_t{1} << 30;

// A file that crashes the worker is a hostile file, not a fault of ours to
// debug: no core file for each one.
void noCoreFiles() {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

// The server's process id, its last argument; absent when there is none.
std::optional<pid_t> serverProcessOf(int argumentCount, char** arguments) {
    if (argumentCount < 2) {
        return std::nullopt;
    }
    const char* text = arguments[argumentCount - 1];
    pid_t server = 0;
    const auto [end, error] = std::from_chars(text, text + std::strlen(text), server);
    if (error != std::errc() || *end != '\0' || server <= 0) {
        return std::nullopt;
    }
    return server;
}

// Ends this worker with the server: a server killed while TagLib spins on a
// file, or blocks on one, must not leave it running unseen. The signal
// comes when the thread that started us ends, which the server keeps
// alive for as long as it talks to us.
bool endWithServer(pid_t server) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        return false;
    }
    // A server that ended before the line above sends no signal: we have a
    // new parent already.
    return ::getppid() == server;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    using namespace lumenary::platform;
    if (lumenary::system::reopenClosedStandardDescriptors() != 0) {
        return EXIT_FAILURE;
    }
    const auto server = serverProcessOf(argumentCount, arguments);
    if (!server) {
        std::fputs("lumenary-tags is started by lumenary, with its process id as the last argument\n", stderr);
        return EXIT_FAILURE;
    }
    if (!endWithServer(*server)) {
        return EXIT_FAILURE;
    }
    // A server that stops reading ends the write with an error, not us.
    ::signal(SIGPIPE, SIG_IGN);
    limitAddressSpace(addressSpaceLimit);
    noCoreFiles();
    TagLibTagReader reader;
    return serveTagRequests(WorkerProcess::requestDescriptor, WorkerProcess::answerDescriptor, reader);
}
