#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

// One parameter of a content line. A vCard 2.1 bare parameter ("CELL",
// "QUOTED-PRINTABLE") has an empty name.
struct VCardParameter {
    // Upper-cased.
    std::string name;
    // Unquoted; one per comma-separated value.
    std::vector<std::string> values;
};

// One content line read apart: "item1.TEL;TYPE=cell:+1 555" is the property
// TEL with one parameter and the raw value "+1 555".
struct VCardProperty {
    // Upper-cased, without its group prefix.
    std::string name;
    std::vector<VCardParameter> parameters;
    // As written, before any decoding.
    std::string value;

    // The upper-cased transfer encoding: the ENCODING parameter, or a 2.1
    // bare "QUOTED-PRINTABLE", "BASE64" or "B"; empty when there is none.
    std::string encoding() const;
    bool isQuotedPrintable() const { return encoding() == "QUOTED-PRINTABLE"; }
    bool isBase64() const;
    // The CHARSET parameter's value as written, if there is one.
    std::optional<std::string> charset() const;
};

// Reads a content line; a line without a colon outside quotes (such as a
// line of a 2.1 base64 block) is no property.
std::optional<VCardProperty> parseVCardProperty(std::string_view line);

}  // namespace lumenary::platform
