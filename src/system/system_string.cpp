#include "system/system_string.hpp"

#include <cstdio>
#include <cstring>

#include "system/fatal_error.hpp"
#include "system/utf8.hpp"

namespace lumenary::system {

namespace {

bool holdsNUL(std::span<const SystemChar> characters) {
    return std::any_of(characters.begin(), characters.end(), [](SystemChar character) { return character.isNUL(); });
}

std::shared_ptr<SystemString::Storage> storageOf(std::string_view bytes) {
    auto storage = std::make_shared<SystemString::Storage>(bytes.size() + 1);
    // An empty view may have no characters at all (a null pointer), which
    // memcpy must not be given even for a length of 0.
    if (!bytes.empty()) {
        std::memcpy(storage->data(), bytes.data(), bytes.size());
    }
    return storage;
}

}  // namespace

SystemString::SystemString() : storage_(std::make_shared<Storage>(1)) {}

SystemString::SystemString(SystemChar repeating, std::ptrdiff_t count) {
    if (count < 0) {
        fatalError("SystemString: negative count");
    }
    if (repeating.isNUL() && count > 0) {
        fatalError("SystemString cannot hold a NUL before its terminator");
    }
    storage_ = std::make_shared<Storage>(static_cast<std::size_t>(count) + 1, repeating);
    storage_->back() = SystemChar();
}

SystemString SystemString::fromText(std::string_view text) {
    return SystemString(storageOf(text.substr(0, text.find('\0'))));
}

SystemString SystemString::fromCString(const char* cString) {
    return SystemString(storageOf(std::string_view(cString, std::strlen(cString))));
}

void SystemString::requireCharacterIndex(std::ptrdiff_t index) const {
    if (index < 0 || index >= endIndex()) {
        fatalError("SystemString index out of range");
    }
}

void SystemString::requireRange(std::ptrdiff_t lower, std::ptrdiff_t upper) const {
    if (lower < 0 || lower > upper || upper > endIndex()) {
        fatalError("SystemString range out of bounds");
    }
}

std::ptrdiff_t SystemString::indexAfter(std::ptrdiff_t index) const {
    requireCharacterIndex(index);
    return index + 1;
}

std::ptrdiff_t SystemString::indexBefore(std::ptrdiff_t index) const {
    if (index <= 0 || index > endIndex()) {
        fatalError("SystemString index out of range");
    }
    return index - 1;
}

SystemChar SystemString::operator[](std::ptrdiff_t index) const {
    requireCharacterIndex(index);
    return (*storage_)[static_cast<std::size_t>(index)];
}

bool SystemString::set(std::ptrdiff_t index, SystemChar character) {
    requireCharacterIndex(index);
    if (character.isNUL()) {
        return false;
    }
    uniqueStorage()[static_cast<std::size_t>(index)] = character;
    return true;
}

void SystemString::swapAt(std::ptrdiff_t first, std::ptrdiff_t second) {
    requireCharacterIndex(first);
    requireCharacterIndex(second);
    Storage& storage = uniqueStorage();
    std::swap(storage[static_cast<std::size_t>(first)], storage[static_cast<std::size_t>(second)]);
}

SystemString::Storage& SystemString::uniqueStorage() {
    // Only this string can make another copy of its storage, so a count of
    // one cannot change under us.
    if (storage_.use_count() > 1) {
        auto copy = std::make_shared<Storage>();
        copy->reserve(storage_->capacity());
        copy->assign(storage_->begin(), storage_->end());
        storage_ = std::move(copy);
    }
    return *storage_;
}

bool SystemString::replaceSubrange(std::ptrdiff_t lower, std::ptrdiff_t upper,
                                   std::span<const SystemChar> characters) {
    requireRange(lower, upper);
    if (holdsNUL(characters)) {
        return false;
    }
    Storage& storage = uniqueStorage();
    const auto first = storage.begin() + lower;
    const std::ptrdiff_t replaced = upper - lower;
    const auto common = std::min<std::ptrdiff_t>(replaced, static_cast<std::ptrdiff_t>(characters.size()));
    std::copy_n(characters.begin(), common, first);
    if (replaced > common) {
        storage.erase(first + common, first + replaced);
    } else {
        storage.insert(first + common, characters.begin() + common, characters.end());
    }
    return true;
}

bool SystemString::append(SystemChar character) { return insert(character, endIndex()); }

bool SystemString::append(std::span<const SystemChar> characters) { return insert(characters, endIndex()); }

bool SystemString::insert(SystemChar character, std::ptrdiff_t at) {
    return replaceSubrange(at, at, std::span<const SystemChar>(&character, 1));
}

bool SystemString::insert(std::span<const SystemChar> characters, std::ptrdiff_t at) {
    return replaceSubrange(at, at, characters);
}

SystemChar SystemString::remove(std::ptrdiff_t at) {
    requireCharacterIndex(at);
    const SystemChar removed = (*storage_)[static_cast<std::size_t>(at)];
    removeSubrange(at, at + 1);
    return removed;
}

void SystemString::removeSubrange(std::ptrdiff_t lower, std::ptrdiff_t upper) {
    replaceSubrange(lower, upper, {});
}

SystemChar SystemString::removeFirst() {
    if (isEmpty()) {
        fatalError("Can't remove the first element of an empty SystemString");
    }
    return remove(0);
}

void SystemString::removeFirst(std::ptrdiff_t count) {
    if (count < 0 || count > endIndex()) {
        fatalError("SystemString.removeFirst: count out of range");
    }
    removeSubrange(0, count);
}

void SystemString::removeAll(bool keepingCapacity) {
    if (!keepingCapacity) {
        *this = SystemString();
        return;
    }
    removeSubrange(0, endIndex());
}

void SystemString::reserveCapacity(std::size_t count) { uniqueStorage().reserve(count + 1); }

std::string SystemString::description() const { return repairUTF8(bytes()); }

std::string SystemString::debugDescription() const { return quotedTextLiteral(description()); }

std::optional<std::string> SystemString::validatedText() const {
    if (!isValidUTF8(bytes())) {
        return std::nullopt;
    }
    return std::string(bytes());
}

std::string quotedTextLiteral(std::string_view text) {
    std::string quoted = "\"";
    for (const char character : text) {
        switch (character) {
            case '"': quoted.append("\\\""); break;
            case '\\': quoted.append("\\\\"); break;
            case '\n': quoted.append("\\n"); break;
            case '\r': quoted.append("\\r"); break;
            case '\t': quoted.append("\\t"); break;
            case '\0': quoted.append("\\0"); break;
            default:
                if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F) {
                    char escaped[12];
                    std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(character));
                    quoted.append(escaped);
                } else {
                    quoted.push_back(character);
                }
        }
    }
    quoted.push_back('"');
    return quoted;
}

std::size_t hashPlatformCharacters(std::string_view bytes) noexcept {
    std::uint64_t digest = 0xCBF29CE484222325ULL;
    auto feed = [&digest](std::uint64_t byte) { digest = (digest ^ byte) * 0x100000001B3ULL; };
    const std::uint64_t count = bytes.size() + 1;
    for (int shift = 0; shift < 64; shift += 8) {
        feed((count >> shift) & 0xFF);
    }
    for (const char byte : bytes) {
        feed(static_cast<unsigned char>(byte));
    }
    return static_cast<std::size_t>(digest);
}

}  // namespace lumenary::system
