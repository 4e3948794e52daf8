#pragma once

#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lumenary::logging {

// Anything that can render itself as text. Handlers may call description()
// from any thread, so an implementation must be safe to read concurrently.
class StringConvertible {
public:
    virtual ~StringConvertible() = default;
    virtual std::string description() const = 0;
};

class MetadataValue;

// Structured metadata of a record or a handler. Ordered by key, so rendering
// sorted by key needs no extra step; `std::less<>` allows lookups by
// string_view.
using Metadata = std::map<std::string, MetadataValue, std::less<>>;

// One metadata value: a string, a self-describing object, a dictionary or an
// array. A value type; copies are independent.
class MetadataValue {
public:
    using Array = std::vector<MetadataValue>;
    using Dictionary = Metadata;

    enum class Kind { string, stringConvertible, dictionary, array };

    // Text converts implicitly, so `{"user", "alice"}` builds a metadata entry.
    MetadataValue(std::string text);
    MetadataValue(std::string_view text);
    MetadataValue(const char* text);

    static MetadataValue string(std::string text);
    // The object must not be null.
    static MetadataValue stringConvertible(std::shared_ptr<const StringConvertible> object);
    static MetadataValue dictionary(Dictionary entries);
    // A dictionary literal. A repeated key is a programming error: the process
    // stops with "Duplicate values for key: '<key>'".
    static MetadataValue dictionary(std::initializer_list<std::pair<std::string, MetadataValue>> entries);
    static MetadataValue array(Array elements);

    Kind kind() const noexcept;
    // The payload of the matching case, or null for any other case.
    const std::string* asString() const noexcept;
    const StringConvertible* asStringConvertible() const noexcept;
    const Dictionary* asDictionary() const noexcept;
    const Array* asArray() const noexcept;

    // The text form: a string as is, an object's own description, and arrays
    // and dictionaries as bracketed lists of quoted, escaped element texts,
    // e.g. ["ab", "cd"] and ["key": "value"]; empty ones are [] and [:].
    std::string description() const;

    // Different cases never compare equal; objects compare by description.
    friend bool operator==(const MetadataValue& left, const MetadataValue& right);

private:
    using Storage = std::variant<std::string, std::shared_ptr<const StringConvertible>, Dictionary, Array>;

    explicit MetadataValue(Storage storage);

    Storage storage_;
};

std::ostream& operator<<(std::ostream& out, const MetadataValue& value);

}  // namespace lumenary::logging
