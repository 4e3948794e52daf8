#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>

#include "mcp/core/typed_json.hpp"
#include "mcp/core/unit_interval.hpp"

namespace lumenary::mcp {
namespace {

TEST(UnitInterval, MakeAcceptsTheClosedRangeOnly) {
    for (double inside : {0.0, 1.0, -0.0, 0.25}) {
        auto interval = UnitInterval::make(inside);
        ASSERT_TRUE(interval) << inside;
        EXPECT_EQ(interval->doubleValue(), inside);
    }
    for (double outside : {-0.0001, 1.0000001, std::nan(""), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(UnitInterval::make(outside)) << outside;
    }
}

TEST(UnitInterval, ZeroAndNegativeZeroAreEqualButDescribeApart) {
    auto zero = *UnitInterval::make(0.0);
    auto negativeZero = *UnitInterval::make(-0.0);
    EXPECT_EQ(zero, negativeZero);
    EXPECT_FALSE(zero < negativeZero || negativeZero < zero);
    EXPECT_EQ(zero.description(), "0.0");
    EXPECT_EQ(negativeZero.description(), "-0.0");
}

TEST(UnitInterval, ReadsNumbersWithinTheRange) {
    EXPECT_EQ(readAs<UnitInterval>("0"), UnitInterval(0));
    EXPECT_EQ(readAs<UnitInterval>("1"), UnitInterval(1));
    EXPECT_EQ(readAs<UnitInterval>("0.25"), UnitInterval(0.25));
}

TEST(UnitInterval, WritesOneAsADoubleThatReadsBackEqual) {
    EXPECT_EQ(writtenText(UnitInterval(1)), "1.0");
    EXPECT_EQ(readAs<UnitInterval>(writtenText(UnitInterval(1))), UnitInterval(1));
}

struct OutOfRange {
    std::string json;
    std::string description;
};

class UnitIntervalOutOfRange : public ::testing::TestWithParam<OutOfRange> {};

TEST_P(UnitIntervalOutOfRange, FailsAsCorruptDataAtTheFieldBeingRead) {
    // Read as a field so the error must carry the field's path.
    auto failure = readingFailure<std::map<std::string, UnitInterval>>(R"({"weight":)" + GetParam().json + "}");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failure->description(), GetParam().description);
    EXPECT_EQ(failure->codingPath(), CodingPath{"weight"});
}

INSTANTIATE_TEST_SUITE_P(, UnitIntervalOutOfRange,
                         ::testing::Values(OutOfRange{"1.5", "Value 1.5 is not in range 0...1"},
                                           OutOfRange{"-1", "Value -1.0 is not in range 0...1"},
                                           OutOfRange{"2", "Value 2.0 is not in range 0...1"},
                                           OutOfRange{"1e300", "Value 1e+300 is not in range 0...1"}));

TEST(UnitInterval, ANonNumberFailsAsTheNumberReaderDoes) {
    auto failure = readingFailure<UnitInterval>(R"("0.5")");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), DecodingError::Kind::typeMismatch);
}

}  // namespace
}  // namespace lumenary::mcp
