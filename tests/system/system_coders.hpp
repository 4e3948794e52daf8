#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "mcp/core/coders.hpp"
#include "system/errno.hpp"
#include "system/file_descriptor.hpp"
#include "system/file_path.hpp"
#include "system/file_permissions.hpp"
#include "system/system_char.hpp"
#include "system/system_string.hpp"

// The coded forms of the system library's values through the protocol
// core's coders. The system library stands below the protocol core and does
// not code its own values; only the tests read and write them. Numbers and
// option sets code as their bare raw value; strings and paths as keyed
// records whose invariants are checked on reading, never repaired.
namespace lumenary::mcp {

namespace system_coding {

inline constexpr const char* invalidSystemString = "Encoding does not satisfy the invariants of SystemString";
inline constexpr const char* invalidFilePath = "Encoding does not satisfy the invariants of FilePath";

template <typename Integer>
Integer decodeInteger(const Decoder& decoder) {
    const std::int64_t number = Coder<std::int64_t>::decode(decoder);
    if (number < std::numeric_limits<Integer>::min() || number > std::numeric_limits<Integer>::max()) {
        decoder.failDataCorrupted("Number " + std::to_string(number) + " does not fit in the integer type");
    }
    return static_cast<Integer>(number);
}

// A type whose coded form is its raw value alone.
template <typename Raw, typename T>
struct RawValueCoder {
    static Value encode(const T& value) { return static_cast<std::int64_t>(value.rawValue()); }
    static T decode(const Decoder& decoder) { return T(decodeInteger<Raw>(decoder)); }
};

}  // namespace system_coding

template <>
struct Coder<system::Errno> : system_coding::RawValueCoder<std::int32_t, system::Errno> {};
template <>
struct Coder<system::FileDescriptor> : system_coding::RawValueCoder<std::int32_t, system::FileDescriptor> {};
template <>
struct Coder<system::AccessMode> : system_coding::RawValueCoder<std::int32_t, system::AccessMode> {};
template <>
struct Coder<system::SeekOrigin> : system_coding::RawValueCoder<std::int32_t, system::SeekOrigin> {};
template <>
struct Coder<system::OpenOptions> : system_coding::RawValueCoder<std::int32_t, system::OpenOptions> {};
template <>
struct Coder<system::FilePermissions> : system_coding::RawValueCoder<std::uint16_t, system::FilePermissions> {};
template <>
struct Coder<system::SystemChar> : system_coding::RawValueCoder<std::int8_t, system::SystemChar> {};

// {"nullTerminatedStorage": [97, 0]}: every character, terminator included.
template <>
struct Coder<system::SystemString> {
    static Value encode(const system::SystemString& string) {
        const auto storage = string.nullTerminatedStorage();
        return ObjectEncoder()
            .set("nullTerminatedStorage", std::vector<system::SystemChar>(storage.begin(), storage.end()))
            .finish();
    }
    static system::SystemString decode(const Decoder& decoder) {
        const Decoder storageDecoder = decoder.member("nullTerminatedStorage");
        const auto storage = Coder<std::vector<system::SystemChar>>::decode(storageDecoder);
        // Exactly one NUL, and it is last.
        std::size_t firstNUL = 0;
        while (firstNUL < storage.size() && !storage[firstNUL].isNUL()) {
            ++firstNUL;
        }
        if (storage.empty() || firstNUL != storage.size() - 1) {
            storageDecoder.failDataCorrupted(system_coding::invalidSystemString);
        }
        return system::SystemString::fromText(
            std::string_view(reinterpret_cast<const char*>(storage.data()), storage.size() - 1));
    }
};

// {"_storage": {...}}, which must already be separator-normal.
template <>
struct Coder<system::FilePath> {
    static Value encode(const system::FilePath& path) {
        return ObjectEncoder().set("_storage", path.systemString()).finish();
    }
    static system::FilePath decode(const Decoder& decoder) {
        const Decoder storageDecoder = decoder.member("_storage");
        auto storage = Coder<system::SystemString>::decode(storageDecoder);
        if (!system::FilePath::isSeparatorNormal(storage)) {
            storageDecoder.failDataCorrupted(system_coding::invalidFilePath);
        }
        return system::FilePath(std::move(storage));
    }
};

// {"_path": ..., "_rootEnd": 1}; the offset must be the path's own root.
template <>
struct Coder<system::FilePath::Root> {
    static Value encode(const system::FilePath::Root& root) {
        return ObjectEncoder()
            .set("_path", root.path())
            .set("_rootEnd", static_cast<std::int64_t>(root.rootEnd()))
            .finish();
    }
    static system::FilePath::Root decode(const Decoder& decoder) {
        auto path = decoder.decode<system::FilePath>("_path");
        const Decoder rootEndDecoder = decoder.member("_rootEnd");
        auto root = system::FilePath::Root::fromParts(std::move(path), Coder<std::int64_t>::decode(rootEndDecoder));
        if (!root) {
            rootEndDecoder.failDataCorrupted(system_coding::invalidFilePath);
        }
        return *std::move(root);
    }
};

// {"_path": ..., "_range": [lower, upper]}; the range must be exactly one
// whole component of the path.
template <>
struct Coder<system::FilePath::Component> {
    static Value encode(const system::FilePath::Component& component) {
        const auto [lower, upper] = component.range();
        return ObjectEncoder()
            .set("_path", component.path())
            .set("_range", std::vector<std::int64_t>{lower, upper})
            .finish();
    }
    static system::FilePath::Component decode(const Decoder& decoder) {
        auto path = decoder.decode<system::FilePath>("_path");
        const Decoder rangeDecoder = decoder.member("_range");
        const auto bounds = Coder<std::vector<std::int64_t>>::decode(rangeDecoder);
        if (bounds.size() != 2) {
            rangeDecoder.failDataCorrupted(system_coding::invalidFilePath);
        }
        auto component = system::FilePath::Component::fromParts(std::move(path), bounds[0], bounds[1]);
        if (!component) {
            rangeDecoder.failDataCorrupted(system_coding::invalidFilePath);
        }
        return *std::move(component);
    }
};

// {"_path": ..., "_start": n}; the start must be the path's relative start.
template <>
struct Coder<system::FilePath::ComponentView> {
    static Value encode(const system::FilePath::ComponentView& view) {
        return ObjectEncoder().set("_path", view.path()).set("_start", static_cast<std::int64_t>(view.start())).finish();
    }
    static system::FilePath::ComponentView decode(const Decoder& decoder) {
        auto path = decoder.decode<system::FilePath>("_path");
        const Decoder startDecoder = decoder.member("_start");
        auto view = system::FilePath::ComponentView::fromParts(std::move(path), Coder<std::int64_t>::decode(startDecoder));
        if (!view) {
            startDecoder.failDataCorrupted(system_coding::invalidFilePath);
        }
        return *std::move(view);
    }
};

}  // namespace lumenary::mcp
