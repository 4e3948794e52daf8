#include "logging/metadata_provider.hpp"

#include <gtest/gtest.h>

namespace lumenary::logging {
namespace {

MetadataProvider providing(Metadata metadata) {
    return MetadataProvider([metadata] { return metadata; });
}

TEST(MetadataProvider, GetCallsTheFunctionEachTime) {
    int calls = 0;
    MetadataProvider provider([&calls] { return Metadata{{"call", std::to_string(++calls)}}; });
    EXPECT_EQ(provider.get(), (Metadata{{"call", "1"}}));
    EXPECT_EQ(provider.get(), (Metadata{{"call", "2"}}));
}

TEST(MetadataProvider, MultiplexLetsTheLaterProviderWinForEqualKeys) {
    auto combined = MetadataProvider::multiplex(
        {providing({{"user", "early"}, {"a", "1"}}), providing({{"user", "late"}, {"b", "2"}})});
    EXPECT_EQ(combined.get(), (Metadata{{"user", "late"}, {"a", "1"}, {"b", "2"}}));
}

TEST(MetadataProvider, MultiplexedEmptyProviderChangesNothing) {
    auto combined = MetadataProvider::multiplex({providing({{"user", "u"}}), providing({})});
    EXPECT_EQ(combined.get(), (Metadata{{"user", "u"}}));
}

TEST(MetadataProvider, MultiplexOfNoProvidersYieldsEmptyMetadata) {
    EXPECT_TRUE(MetadataProvider::multiplex({}).get().empty());
}

}  // namespace
}  // namespace lumenary::logging
