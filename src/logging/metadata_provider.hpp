#pragma once

#include <functional>
#include <vector>

#include "logging/metadata_value.hpp"

namespace lumenary::logging {

// Attaches metadata to every record without passing it at each call. The
// function may be called from any thread at any time, so what it reads must
// be safe to read concurrently.
class MetadataProvider {
public:
    explicit MetadataProvider(std::function<Metadata()> provideMetadata);

    Metadata get() const;

    // One provider that asks each in list order; for equal keys the later
    // provider wins, and an empty list yields empty metadata.
    static MetadataProvider multiplex(std::vector<MetadataProvider> providers);

private:
    std::function<Metadata()> provideMetadata_;
};

}  // namespace lumenary::logging
