#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

#include "mcp/core/json.hpp"
#include "mcp/core/value.hpp"
#include "mcp/core/value_conversions.hpp"

namespace lumenary::mcp {
namespace {

TEST(ValueEquality, CasesAndPayloads) {
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_NE(Value(std::nan("")), Value(std::nan("")));
    EXPECT_EQ(Value(0.0), Value(-0.0));
    EXPECT_EQ(Value(0.0).hash(), Value(-0.0).hash());
    EXPECT_NE(Value::data("x", std::nullopt), Value::data("x", "text/plain"));
    EXPECT_NE(Value(1).hash(), Value(1.0).hash());
}

TEST(ValueEquality, ObjectsIgnoreInsertionOrder) {
    const auto first = Value::object({{"a", 1}, {"b", "two"}});
    const auto second = Value::object({{"b", "two"}, {"a", 1}});
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.hash(), second.hash());
    std::unordered_set<Value> set{first, second, Value::object({{"a", 2}})};
    EXPECT_EQ(set.size(), 2U);
}

TEST(ValueDescription, ReadsAsPlainText) {
    EXPECT_EQ(Value().description(), "");
    EXPECT_EQ(Value("x").description(), "x");
    EXPECT_EQ(Value(1.0).description(), "1.0");
    EXPECT_EQ(Value(0.5).description(), "0.5");
    EXPECT_EQ(Value::array({"a", 1}).description(), "[a, 1]");
    EXPECT_EQ(Value::object({{"k", 1}}).description(), R"(["k": 1])");
    EXPECT_EQ(Value(Value::Object{}).description(), "[:]");
    EXPECT_EQ(Value(Value::Array{}).description(), "[]");
    EXPECT_EQ(Value::data("Hi", std::nullopt).description(), "data:text/plain;base64,SGk=");
}

TEST(ValueConstruction, ObjectLiteralKeepsTheLastValueOfARepeatedKey) {
    EXPECT_EQ(Value::object({{"k", 1}, {"k", 2}}), Value::object({{"k", 2}}));
}

TEST(ValueConversions, Boolean) {
    EXPECT_EQ(boolFrom(Value("yes"), false), true);
    EXPECT_EQ(boolFrom(Value("off"), false), false);
    EXPECT_EQ(boolFrom(Value("Yes"), false), std::nullopt);
    EXPECT_EQ(boolFrom(Value(2), false), std::nullopt);
    EXPECT_EQ(boolFrom(Value(1), false), true);
    EXPECT_EQ(boolFrom(Value(-0.0), false), false);
    EXPECT_EQ(boolFrom(Value(1), true), std::nullopt);
    EXPECT_EQ(boolFrom(Value(true), true), true);
}

TEST(ValueConversions, Integer) {
    EXPECT_EQ(integerFrom(Value("+12"), false), 12);
    EXPECT_EQ(integerFrom(Value("-12"), false), -12);
    for (const char* bad : {" 12", "12 ", "-", "+", "", "99999999999999999999", "+-1", "1.0", "0x10"}) {
        EXPECT_EQ(integerFrom(Value(bad), false), std::nullopt) << bad;
    }
    EXPECT_EQ(integerFrom(Value(2.0), false), 2);
    EXPECT_EQ(integerFrom(Value(2.5), false), std::nullopt);
    EXPECT_EQ(integerFrom(Value(9223372036854775808.0), false), std::nullopt);
    EXPECT_EQ(integerFrom(Value(-9223372036854775808.0), false), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(integerFrom(Value(2.0), true), std::nullopt);
}

TEST(ValueConversions, Double) {
    EXPECT_EQ(doubleFrom(Value(3), true), 3.0);
    EXPECT_EQ(doubleFrom(Value("3"), true), std::nullopt);
    EXPECT_EQ(doubleFrom(Value("1e3"), false), 1000.0);
    EXPECT_EQ(doubleFrom(Value("0x10"), false), 16.0);
    EXPECT_TRUE(std::isinf(*doubleFrom(Value("-Infinity"), false)));
    for (const char* bad : {"", " 1", "\t1", "1 ", "1x", "abc"}) {
        EXPECT_EQ(doubleFrom(Value(bad), false), std::nullopt) << bad;
    }
}

TEST(ValueConversions, Text) {
    EXPECT_EQ(stringFrom(Value(true), false), "true");
    EXPECT_EQ(stringFrom(Value(-4), false), "-4");
    EXPECT_EQ(stringFrom(Value(2.0), false), "2.0");
    EXPECT_EQ(stringFrom(Value(2), true), std::nullopt);
    EXPECT_EQ(stringFrom(Value(), false), std::nullopt);
    EXPECT_EQ(stringFrom(Value::array({}), false), std::nullopt);
}

}  // namespace
}  // namespace lumenary::mcp
