#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mcp/core/typed_json.hpp"

// Shared checks for the typed message families: each type must write the
// expected text, read it back to an equal value, and refuse bad input at the
// right place with the right kind of error.
namespace lumenary::mcp {

template <typename T>
struct Written {
    T value;
    std::string json;
};

template <typename T>
void expectWrittenAndReadBack(const std::vector<Written<T>>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(writtenText(c.value), c.json);
        EXPECT_EQ(readAs<T>(c.json), c.value);
    }
}

struct Refusal {
    std::string json;
    DecodingError::Kind kind;
    CodingPath codingPath;
    std::string description = {};  // empty: the reader's own wording
};

template <typename T>
void expectRefused(const std::vector<Refusal>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto failure = readingFailure<T>(c.json);
        ASSERT_TRUE(failure) << "accepted";
        EXPECT_EQ(failure->kind(), c.kind) << failure->what();
        EXPECT_EQ(failure->codingPath(), c.codingPath) << failure->what();
        if (!c.description.empty()) {
            EXPECT_EQ(failure->description(), c.description);
        }
    }
}

// Every pair differs and, for these hand-picked near neighbours, hashes apart;
// a copy of each compares and hashes equal.
template <typename T>
void expectDistinct(const std::vector<T>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const T copy = values[i];
        EXPECT_EQ(copy, values[i]) << i;
        EXPECT_EQ(copy.hash(), values[i].hash()) << i;
        for (std::size_t j = i + 1; j < values.size(); ++j) {
            EXPECT_NE(values[i], values[j]) << i << " vs " << j;
            EXPECT_NE(values[i].hash(), values[j].hash()) << i << " vs " << j;
        }
    }
}

}  // namespace lumenary::mcp
