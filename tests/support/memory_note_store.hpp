#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/notes/note_store.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::testing {

// A NoteStore in memory for tests: notes in the order they are added (the
// first is the newest), failures on demand, and the notes it was asked to
// create and the limits it was asked for. Safe to call from the worker pool
// while a test reads it after a call has ended.
class MemoryNoteStore final : public platform::NoteStore {
public:
    // --- set up by the test

    void addNote(std::string name, std::string plainText) {
        std::lock_guard lock(mutex_);
        notes_.push_back({std::move(name), std::move(plainText)});
    }
    // Every later create fails with this error.
    void failCreates(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        createError_ = std::move(error);
    }
    // Every later listing and search fails with it.
    void failReads(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        readError_ = std::move(error);
    }

    // --- read by the test

    std::vector<platform::NewNote> createdNotes() const {
        std::lock_guard lock(mutex_);
        return created_;
    }
    std::vector<std::size_t> askedLimits() const {
        std::lock_guard lock(mutex_);
        return limits_;
    }

    // --- the store

    std::string locationDescription() const override { return "/memory/notes"; }

    platform::PlatformOutcome<platform::CreatedNote> createNote(const platform::NewNote& note) override {
        std::lock_guard lock(mutex_);
        if (createError_) {
            return *createError_;
        }
        created_.push_back(note);
        notes_.insert(notes_.begin(), {note.title, note.content});
        return platform::CreatedNote{.name = note.title, .folder = note.folder};
    }
    platform::PlatformOutcome<std::vector<std::string>> noteNames(std::size_t limit) override {
        std::lock_guard lock(mutex_);
        limits_.push_back(limit);
        if (readError_) {
            return *readError_;
        }
        std::vector<std::string> names;
        for (const auto& note : notes_) {
            if (names.size() >= limit) {
                break;
            }
            names.push_back(note.name);
        }
        return names;
    }
    platform::PlatformOutcome<std::vector<platform::StoredNote>> notesContaining(std::string_view term,
                                                                                 std::size_t limit) override {
        std::lock_guard lock(mutex_);
        limits_.push_back(limit);
        if (readError_) {
            return *readError_;
        }
        std::vector<platform::StoredNote> matches;
        for (const auto& note : notes_) {
            if (matches.size() >= limit) {
                break;
            }
            if (platform::containsIgnoringCase(note.name, term) ||
                platform::containsIgnoringCase(note.plainText, term)) {
                matches.push_back(note);
            }
        }
        return matches;
    }

private:
    mutable std::mutex mutex_;
    std::vector<platform::StoredNote> notes_;
    std::vector<platform::NewNote> created_;
    std::vector<std::size_t> limits_;
    std::optional<platform::PlatformError> createError_;
    std::optional<platform::PlatformError> readError_;
};

}  // namespace lumenary::testing
