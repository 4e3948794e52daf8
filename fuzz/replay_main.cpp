// Runs a fuzz target once on every input it is given (files, or folders of
// them), without the fuzzer: the normal build replays each seed corpus this
// way, so an input that once broke a parser fails the tests if it ever does
// again. With --seconds-per-input=N first, an input that takes more than N
// seconds of the process's CPU time fails the replay too: CPU time, not the
// clock on the wall, so that a machine busy with other tests does not make
// a quick input look slow.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::chrono::duration<double> processCPUTime() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

bool replay(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    // The fuzzer hands over a buffer of exactly the input's size, so a read
    // past its end shows under AddressSanitizer here too.
    const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    std::size_t tooSlow = 0;
    int first = 1;
    std::chrono::duration<double> secondsPerInput{0};
    constexpr std::string_view limitOption = "--seconds-per-input=";
    if (argc > 1 && std::string_view(argv[1]).starts_with(limitOption)) {
        secondsPerInput = std::chrono::duration<double>(std::stod(argv[1] + limitOption.size()));
        first = 2;
    }
    for (int index = first; index < argc; ++index) {
        const std::filesystem::path argument(argv[index]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argument)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argument)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else {
            files.push_back(argument);
        }
        for (const auto& file : files) {
            const auto start = processCPUTime();
            if (!replay(file)) return 1;
            const std::chrono::duration<double> took = processCPUTime() - start;
            if (secondsPerInput.count() > 0 && took > secondsPerInput) {
                std::fprintf(stderr, "%s took %.2f s of CPU time, more than %.2f s\n", file.c_str(), took.count(),
                             secondsPerInput.count());
                ++tooSlow;
            }
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    std::fprintf(stderr, "replayed %zu inputs\n", replayed);
    return tooSlow == 0 ? 0 : 1;
}
