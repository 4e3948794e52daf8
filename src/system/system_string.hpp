#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/system_char.hpp"

namespace lumenary::system {

class FilePath;

// Platform characters followed by exactly one NUL, so the storage can be lent
// to the C library without copying. The NUL is never an element: indices run
// 0 ..< endIndex (the terminator's offset).
//
// Every edit keeps the terminator: an index or range outside the characters
// stops the process, and an edit that would put a NUL among them is refused
// (the string stays as it was and the edit answers false). Copies share
// their storage until one of them is changed.
class SystemString {
public:
    using Storage = std::vector<SystemChar>;

    SystemString();
    // `count` copies of `character` (which must not be NUL).
    SystemString(SystemChar repeating, std::ptrdiff_t count);
    // The text's bytes up to its first NUL, if any.
    static SystemString fromText(std::string_view text);
    // The run up to its NUL, copied with its terminator.
    static SystemString fromCString(const char* cString);

    // The characters, without the terminator.
    std::size_t size() const noexcept { return storage_->size() - 1; }
    bool isEmpty() const noexcept { return size() == 0; }
    std::ptrdiff_t startIndex() const noexcept { return 0; }
    std::ptrdiff_t endIndex() const noexcept { return static_cast<std::ptrdiff_t>(size()); }
    std::ptrdiff_t indexAfter(std::ptrdiff_t index) const;
    std::ptrdiff_t indexBefore(std::ptrdiff_t index) const;

    SystemChar operator[](std::ptrdiff_t index) const;
    // False, and nothing changes, for a NUL.
    bool set(std::ptrdiff_t index, SystemChar character);
    void swapAt(std::ptrdiff_t first, std::ptrdiff_t second);
    // Moves the characters for which `belongsInSecond` holds after the others;
    // returns where they start.
    template <typename Predicate>
    std::ptrdiff_t partition(Predicate belongsInSecond) {
        Storage& storage = uniqueStorage();
        const auto split = std::partition(storage.begin(), storage.end() - 1,
                                          [&](SystemChar character) { return !belongsInSecond(character); });
        return split - storage.begin();
    }

    const SystemChar* begin() const noexcept { return storage_->data(); }
    const SystemChar* end() const noexcept { return storage_->data() + size(); }
    // The characters as bytes, and the whole storage with its terminator.
    std::string_view bytes() const noexcept { return {platformString(), size()}; }
    std::span<const SystemChar> nullTerminatedStorage() const noexcept { return *storage_; }
    const char* platformString() const noexcept { return reinterpret_cast<const char*>(storage_->data()); }
    // Lends the NUL-terminated characters for the duration of the call.
    template <typename Body>
    decltype(auto) withPlatformString(Body&& body) const {
        return std::forward<Body>(body)(platformString());
    }

    // Range edits on lower ..< upper, within 0 ... endIndex. Each answers
    // false, changing nothing, when the new characters hold a NUL.
    bool replaceSubrange(std::ptrdiff_t lower, std::ptrdiff_t upper, std::span<const SystemChar> characters);
    bool append(SystemChar character);
    bool append(std::span<const SystemChar> characters);
    bool insert(SystemChar character, std::ptrdiff_t at);
    bool insert(std::span<const SystemChar> characters, std::ptrdiff_t at);
    SystemChar remove(std::ptrdiff_t at);
    void removeSubrange(std::ptrdiff_t lower, std::ptrdiff_t upper);
    SystemChar removeFirst();
    void removeFirst(std::ptrdiff_t count);
    // Keeping the capacity keeps the storage; otherwise it is a fresh empty string.
    void removeAll(bool keepingCapacity);
    // Keeps the characters for which `shouldRemove` is false. A throwing
    // predicate leaves the string as it was.
    template <typename Predicate>
    void removeAll(Predicate shouldRemove) {
        Storage kept;
        kept.reserve(storage_->size());
        for (const SystemChar character : *this) {
            if (!shouldRemove(character)) {
                kept.push_back(character);
            }
        }
        kept.push_back(SystemChar());
        storage_ = std::make_shared<Storage>(std::move(kept));
    }
    // Room for `count` characters and the terminator.
    void reserveCapacity(std::size_t count);
    std::size_t capacity() const noexcept { return storage_->capacity() - 1; }

    // The characters as UTF-8, each ill-formed sequence as U+FFFD.
    std::string description() const;
    // The description as a quoted, escaped text literal.
    std::string debugDescription() const;
    // The characters as text, absent unless they are well-formed UTF-8.
    std::optional<std::string> validatedText() const;

    // Equal storages, terminator included.
    friend bool operator==(const SystemString& left, const SystemString& right) noexcept {
        return left.bytes() == right.bytes();
    }

private:
    friend class FilePath;
    explicit SystemString(std::shared_ptr<Storage> storage) noexcept : storage_(std::move(storage)) {}
    // The storage, copied first when another string shares it.
    Storage& uniqueStorage();
    void requireCharacterIndex(std::ptrdiff_t index) const;
    void requireRange(std::ptrdiff_t lower, std::ptrdiff_t upper) const;

    std::shared_ptr<Storage> storage_;
};

// `text` quoted and escaped as a text literal: "a\"b\n".
std::string quotedTextLiteral(std::string_view text);

// Count (terminator included), then each byte: equal strings hash alike.
std::size_t hashPlatformCharacters(std::string_view bytes) noexcept;

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::SystemString> {
    std::size_t operator()(const lumenary::system::SystemString& string) const noexcept {
        return lumenary::system::hashPlatformCharacters(string.bytes());
    }
};
