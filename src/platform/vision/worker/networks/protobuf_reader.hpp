#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace lumenary::platform::vision {

// One field of a Protocol Buffers message as its bytes hold it: the field
// number, the wire type, a varint or fixed value, or the bytes of a
// length-delimited field (a string, a packed array or a message), and the
// field's whole encoding, tag included, for copying it unchanged.
struct ProtobufField {
    int number = 0;
    int wireType = 0;
    std::uint64_t value = 0;
    std::string_view bytes;
    std::string_view encoding;
};

// The varint at the front of `bytes`, consumed; none when the bytes end
// within it or it runs past ten bytes.
inline std::optional<std::uint64_t> consumeVarint(std::string_view& bytes) {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64 && !bytes.empty(); shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes.front());
        bytes.remove_prefix(1);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

// Reads the fields of one message, one level deep: a nested message is
// handed over as bytes for a reader of its own, so reading never recurses
// on what the input nests. Every length is checked against the bytes
// left; groups (wire types 3 and 4, unused by the formats read here) and
// field numbers outside protobuf's range are malformed.
class ProtobufReader {
public:
    explicit ProtobufReader(std::string_view message) : rest_(message) {}

    // The next field, or none at the end of the message or when the bytes
    // are malformed (malformed() says which).
    std::optional<ProtobufField> next() {
        if (rest_.empty() || malformed_) {
            return std::nullopt;
        }
        const char* start = rest_.data();
        ProtobufField field;
        const auto tag = varint();
        if (!tag || (*tag >> 3) == 0 || (*tag >> 3) > maximumFieldNumber) {
            return fail();
        }
        field.number = static_cast<int>(*tag >> 3);
        field.wireType = static_cast<int>(*tag & 7);
        switch (field.wireType) {
            case 0: {
                const auto value = varint();
                if (!value) {
                    return fail();
                }
                field.value = *value;
                break;
            }
            case 1:
            case 5: {
                const std::size_t width = field.wireType == 1 ? 8 : 4;
                if (rest_.size() < width) {
                    return fail();
                }
                std::uint64_t value = 0;
                std::memcpy(&value, rest_.data(), width);
                field.value = value;
                field.bytes = rest_.substr(0, width);
                rest_.remove_prefix(width);
                break;
            }
            case 2: {
                const auto length = varint();
                if (!length || *length > rest_.size()) {
                    return fail();
                }
                field.bytes = rest_.substr(0, static_cast<std::size_t>(*length));
                rest_.remove_prefix(static_cast<std::size_t>(*length));
                break;
            }
            default:
                return fail();
        }
        field.encoding = std::string_view(start, static_cast<std::size_t>(rest_.data() - start));
        return field;
    }

    bool malformed() const { return malformed_; }

    // The float a fixed32 field holds.
    static float fixedFloat(const ProtobufField& field) {
        float value = 0;
        const auto bits = static_cast<std::uint32_t>(field.value);
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    static constexpr std::uint64_t maximumFieldNumber = (1U << 29) - 1;

    std::optional<ProtobufField> fail() {
        malformed_ = true;
        return std::nullopt;
    }

    std::optional<std::uint64_t> varint() { return consumeVarint(rest_); }

    std::string_view rest_;
    bool malformed_ = false;
};

}  // namespace lumenary::platform::vision
