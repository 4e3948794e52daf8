#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace lumenary::platform::vision {

// Protocol Buffers' wire format, the little of it a TensorFlow GraphDef
// needs: varints, 32-bit floats, length-delimited bytes and messages.
// Fields are written in the order they are given.
class ProtobufWriter {
public:
    void varintField(int field, std::uint64_t value) {
        tag(field, 0);
        varint(value);
    }
    // Negative values as protobuf's int64 and int32 write them: ten bytes.
    void signedField(int field, std::int64_t value) { varintField(field, static_cast<std::uint64_t>(value)); }
    void floatField(int field, float value) {
        tag(field, 5);
        fixed32(value);
    }
    void bytesField(int field, std::string_view bytes) {
        tag(field, 2);
        varint(bytes.size());
        bytes_.append(bytes);
    }
    void messageField(int field, const ProtobufWriter& message) { bytesField(field, message.bytes()); }

    // The values of a packed repeated field, written one by one into the
    // field's own writer.
    void packedVarint(std::uint64_t value) { varint(value); }
    void packedFloat(float value) { fixed32(value); }

    const std::string& bytes() const { return bytes_; }
    std::string takeBytes() { return std::move(bytes_); }
    bool empty() const { return bytes_.empty(); }

private:
    void tag(int field, int wireType) { varint((static_cast<std::uint64_t>(field) << 3) | static_cast<std::uint64_t>(wireType)); }
    void varint(std::uint64_t value) {
        while (value >= 0x80) {
            bytes_.push_back(static_cast<char>((value & 0x7f) | 0x80));
            value >>= 7;
        }
        bytes_.push_back(static_cast<char>(value));
    }
    void fixed32(float value) {
        char little[4];
        std::memcpy(little, &value, 4);
        bytes_.append(little, 4);
    }

    std::string bytes_;
};

}  // namespace lumenary::platform::vision
