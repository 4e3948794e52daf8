#include "platform/music/mpris_player_properties.hpp"

#include <cmath>
#include <limits>

#include "platform/music/mpris_connection.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

GVariant* lookedUpValue(GVariant* dictionary, const char* key) {
    if (dictionary == nullptr || !g_variant_is_of_type(dictionary, G_VARIANT_TYPE_VARDICT)) {
        return nullptr;
    }
    return g_variant_lookup_value(dictionary, key, nullptr);
}

std::optional<std::string> textOf(GVariant* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        return system::repairUTF8(g_variant_get_string(value, nullptr));
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        std::string joined;
        const gsize count = g_variant_n_children(value);
        for (gsize index = 0; index < count; ++index) {
            const char* item = nullptr;
            g_variant_get_child(value, index, "&s", &item);
            if (index > 0) {
                joined.append(", ");
            }
            joined.append(item);
        }
        return system::repairUTF8(joined);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTESTRING)) {
        gsize size = 0;
        const auto* bytes = static_cast<const char*>(g_variant_get_fixed_array(value, &size, 1));
        std::string_view text(bytes != nullptr ? bytes : "", bytes != nullptr ? size : 0);
        // A byte string often carries its C terminator along.
        if (!text.empty() && text.back() == '\0') {
            text.remove_suffix(1);
        }
        return system::repairUTF8(text);
    }
    return std::nullopt;
}

std::optional<std::int64_t> integerOf(GVariant* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    switch (g_variant_classify(value)) {
        case G_VARIANT_CLASS_INT64: return g_variant_get_int64(value);
        case G_VARIANT_CLASS_INT32: return g_variant_get_int32(value);
        case G_VARIANT_CLASS_INT16: return g_variant_get_int16(value);
        case G_VARIANT_CLASS_UINT32: return g_variant_get_uint32(value);
        case G_VARIANT_CLASS_UINT16: return g_variant_get_uint16(value);
        case G_VARIANT_CLASS_BYTE: return g_variant_get_byte(value);
        case G_VARIANT_CLASS_UINT64: {
            const guint64 number = g_variant_get_uint64(value);
            if (number > static_cast<guint64>(std::numeric_limits<std::int64_t>::max())) {
                return std::nullopt;
            }
            return static_cast<std::int64_t>(number);
        }
        case G_VARIANT_CLASS_DOUBLE: {
            const double number = g_variant_get_double(value);
            // 2^63 itself does not fit; the bound below it does.
            if (!std::isfinite(number) || std::fabs(number) >= 9.2e18) {
                return std::nullopt;
            }
            return std::llround(number);
        }
        default: return std::nullopt;
    }
}

std::optional<bool> booleanOf(GVariant* value) {
    if (value == nullptr || !g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        return std::nullopt;
    }
    return g_variant_get_boolean(value) != FALSE;
}

PlatformOutcome<std::optional<PlayingTrack>> playingTrackOf(GVariant* playerProperties, const std::string& player) {
    GVariantPointer status(lookedUpValue(playerProperties, "PlaybackStatus"));
    if (!status || !g_variant_is_of_type(status.get(), G_VARIANT_TYPE_STRING)) {
        return musicPlayerError(MusicPlayerFailure::callFailed,
                                "Music player error: " + player +
                                    " does not report its PlaybackStatus, so what it plays is unknown. " +
                                    std::string(mprisPlayerChoiceAdvice));
    }
    const auto state = textOf(status.get());
    if (*state == "Stopped") {
        return std::optional<PlayingTrack>();
    }
    GVariantPointer metadata(lookedUpValue(playerProperties, "Metadata"));
    const auto text = [&metadata](const char* key) {
        GVariantPointer value(lookedUpValue(metadata.get(), key));
        return textOf(value.get()).value_or("");
    };
    GVariantPointer length(lookedUpValue(metadata.get(), "mpris:length"));
    GVariantPointer position(lookedUpValue(playerProperties, "Position"));
    return std::optional<PlayingTrack>(PlayingTrack{.title = text("xesam:title"),
                                                    .artist = text("xesam:artist"),
                                                    .album = text("xesam:album"),
                                                    .durationMicroseconds = integerOf(length.get()),
                                                    .positionMicroseconds = integerOf(position.get()),
                                                    .state = lowercased(*state)});
}

}  // namespace lumenary::platform
