// search_notes and list_notes over a folder of 10,000 notes of 4 KB,
// through the category as the tool service calls it, worker-pool hops
// included. Wall-clock times: the reading runs on the worker pool.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/tools/notes/notes_tool_handler.hpp"
#include "platform/notes/folder_note_store.hpp"
#include "support/temporary_directory.hpp"
#include "tool_text.hpp"

namespace {

using lumenary::app::NotesToolHandler;
using lumenary::app::PlainDictionary;

constexpr int noteCount = 10000;
constexpr std::size_t noteBytes = 4096;

// About 4 KB of ordinary prose, different in every note.
std::string noteText(int index) {
    static const char* const words[] = {"meeting", "budget",  "garden", "travel", "recipe",  "project", "Monday",
                                        "call",    "invoice", "ideas",  "book",   "weekend", "Straße",  "会议"};
    std::string text = "Note " + std::to_string(index) + "\n";
    unsigned state = static_cast<unsigned>(index) * 2654435761U + 1;
    while (text.size() < noteBytes) {
        state = state * 1103515245U + 12345U;
        text += words[(state >> 16) % (sizeof words / sizeof *words)];
        text += (state >> 8) % 9 == 0 ? ".\n" : " ";
    }
    text.resize(noteBytes);
    return text;
}

// The folder, made once for every benchmark of the process, in ten folders.
class NoteFolder {
public:
    NoteFolder() {
        for (int index = 0; index < noteCount; ++index) {
            char name[32];
            std::snprintf(name, sizeof name, "Note %05d.md", index);
            const auto folder = folder_.path() / ("Folder " + std::to_string(index % 10));
            std::filesystem::create_directories(folder);
            std::ofstream(folder / name, std::ios::binary) << noteText(index);
        }
        handler_ = std::make_shared<NotesToolHandler>(
            std::make_shared<lumenary::platform::FolderNoteStore>(folder_.path(), [](const std::string&) {}));
    }

    std::string call(const std::string& tool, PlainDictionary arguments) {
        return records_bench::toolText(*handler_, tool, std::move(arguments));
    }

private:
    lumenary::testing::TemporaryDirectory folder_;
    std::shared_ptr<NotesToolHandler> handler_;
};

NoteFolder& noteFolder() {
    static NoteFolder folder;
    return folder;
}

// No note matches, so every note is read and compared.
void searchNotesWithoutMatch(benchmark::State& state) {
    auto& folder = noteFolder();
    for (auto _ : state) {
        const auto text = folder.call("search_notes", {{"query", "Quarterly Forecast"}});
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(searchNotesWithoutMatch)
    ->Name("notes/search_notes/10000_notes_no_match")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every note matches: the folder is still enumerated and ordered in full,
// then 20 notes are read.
void searchNotesEveryMatch(benchmark::State& state) {
    auto& folder = noteFolder();
    for (auto _ : state) {
        const auto text = folder.call("search_notes", {{"query", "NOTE"}});
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(searchNotesEveryMatch)
    ->Name("notes/search_notes/10000_notes_first_20")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void listNotes(benchmark::State& state) {
    auto& folder = noteFolder();
    for (auto _ : state) {
        const auto text = folder.call("list_notes", {});
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(listNotes)->Name("notes/list_notes/10000_notes")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
