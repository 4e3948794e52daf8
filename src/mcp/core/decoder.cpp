#include "mcp/core/decoder.hpp"

#include <vector>

namespace lumenary::mcp {

namespace {

std::string_view kindName(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::null: return "null";
        case Value::Kind::boolean: return "a boolean";
        case Value::Kind::integer: return "an integer";
        case Value::Kind::number: return "a number";
        case Value::Kind::string: return "a string";
        case Value::Kind::data: return "a data URL";
        case Value::Kind::array: return "an array";
        case Value::Kind::object: return "an object";
    }
    return "a value";
}

}  // namespace

CodingPath Decoder::codingPath() const {
    std::vector<const Decoder*> chain;
    for (const Decoder* decoder = this; decoder->parent_ != nullptr; decoder = decoder->parent_) {
        chain.push_back(decoder);
    }
    CodingPath path;
    path.reserve(chain.size());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const Decoder& decoder = **it;
        path.push_back(decoder.index_ ? "Index " + std::to_string(*decoder.index_) : std::string(decoder.key_));
    }
    return path;
}

const Value::Object& Decoder::object() const {
    const auto* members = value_.objectValue();
    if (members == nullptr) {
        failTypeMismatch("an object");
    }
    return *members;
}

const Value* Decoder::find(std::string_view key) const {
    const auto& members = object();
    auto found = members.find(key);
    return found == members.end() ? nullptr : &found->second;
}

bool Decoder::contains(std::string_view key) const {
    return find(key) != nullptr;
}

Decoder Decoder::member(std::string_view key) const {
    const Value* found = find(key);
    if (found == nullptr) {
        fail(DecodingError::Kind::keyNotFound, "No value associated with key \"" + std::string(key) + "\"");
    }
    return Decoder(*found, this, key);
}

const Value::Array& Decoder::array() const {
    const auto* elements = value_.arrayValue();
    if (elements == nullptr) {
        failTypeMismatch("an array");
    }
    return *elements;
}

Decoder Decoder::element(std::size_t index) const {
    return Decoder(array().at(index), this, index);
}

void Decoder::fail(DecodingError::Kind kind, std::string description) const {
    throw DecodingError(kind, codingPath(), std::move(description));
}

void Decoder::failTypeMismatch(std::string_view expected) const {
    if (value_.isNull()) {
        fail(DecodingError::Kind::valueNotFound, "Expected " + std::string(expected) + " but found null instead");
    }
    fail(DecodingError::Kind::typeMismatch,
         "Expected " + std::string(expected) + " but found " + std::string(kindName(value_)) + " instead");
}

}  // namespace lumenary::mcp
