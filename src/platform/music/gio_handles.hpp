#pragma once

#include <memory>

#include <gio/gio.h>

namespace lumenary::platform {

// Owners of GLib's reference-counted values, each released once on every
// path.
struct GVariantRelease {
    void operator()(GVariant* variant) const noexcept { g_variant_unref(variant); }
};
struct GErrorRelease {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct GObjectRelease {
    void operator()(void* object) const noexcept { g_object_unref(object); }
};
struct GMainContextRelease {
    void operator()(GMainContext* context) const noexcept { g_main_context_unref(context); }
};

using GVariantPointer = std::unique_ptr<GVariant, GVariantRelease>;
using GErrorPointer = std::unique_ptr<GError, GErrorRelease>;
template <typename T>
using GObjectPointer = std::unique_ptr<T, GObjectRelease>;
using GMainContextPointer = std::unique_ptr<GMainContext, GMainContextRelease>;

}  // namespace lumenary::platform
