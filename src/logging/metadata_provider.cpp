#include "logging/metadata_provider.hpp"

#include <utility>

namespace lumenary::logging {

MetadataProvider::MetadataProvider(std::function<Metadata()> provideMetadata)
    : provideMetadata_(std::move(provideMetadata)) {}

Metadata MetadataProvider::get() const {
    return provideMetadata_();
}

MetadataProvider MetadataProvider::multiplex(std::vector<MetadataProvider> providers) {
    return MetadataProvider([providers = std::move(providers)] {
        Metadata combined;
        for (const auto& provider : providers) {
            for (auto& [key, value] : provider.get()) combined.insert_or_assign(key, std::move(value));
        }
        return combined;
    });
}

}  // namespace lumenary::logging
