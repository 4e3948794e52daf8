#include "platform/contacts/vcard_reader.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/contacts/vcard_line_reader.hpp"
#include "platform/contacts/vcard_property.hpp"
#include "platform/contacts/vcard_text.hpp"

namespace lumenary::platform {

namespace {

bool equalsASCIIIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t index = 0; index < left.size(); ++index) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(left[index]) != lower(right[index])) {
            return false;
        }
    }
    return true;
}

bool namesCard(const VCardProperty& property) {
    std::string_view value = property.value;
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    return equalsASCIIIgnoringCase(value, "VCARD");
}

// A quoted-printable value whose line ends in "=" (a soft line break) goes
// on in the next line as it stands.
void joinSoftLineBreaks(VCardProperty& property, VCardLineReader& lines) {
    while (property.value.ends_with('=')) {
        const auto next = lines.nextPhysicalLine();
        if (!next) {
            return;
        }
        property.value.pop_back();
        property.value.append(*next);
    }
}

ContactName contactNameFrom(std::string_view text) {
    std::vector<std::string> parts = splitVCardValue(text, ';');
    parts.resize(std::max<std::size_t>(parts.size(), 2));
    ContactName name{.familyName = std::move(parts[0]), .givenName = std::move(parts[1]), .otherNames = {}};
    for (std::size_t index = 2; index < parts.size(); ++index) {
        if (!parts[index].empty()) {
            name.otherNames.push_back(std::move(parts[index]));
        }
    }
    return name;
}

std::string phoneNumberFrom(std::string text) {
    if (text.size() >= 4 && equalsASCIIIgnoringCase(std::string_view(text).substr(0, 4), "tel:")) {
        text.erase(0, 4);
    }
    return text;
}

void addProperty(StoreContact& contact, const VCardProperty& property) {
    if (property.isBase64()) {
        return;
    }
    if (property.name == "N") {
        contact.name = contactNameFrom(vCardValueText(property));
    } else if (property.name == "FN") {
        contact.formattedName = unescapedVCardText(vCardValueText(property));
    } else if (property.name == "NICKNAME") {
        for (std::string& nickname : splitVCardValue(vCardValueText(property), ',')) {
            if (!nickname.empty()) {
                contact.nicknames.push_back(std::move(nickname));
            }
        }
    } else if (property.name == "TEL") {
        std::string number = phoneNumberFrom(unescapedVCardText(vCardValueText(property)));
        if (!number.empty()) {
            contact.phoneNumbers.push_back(std::move(number));
        }
    }
}

// The property's name as written, without its group: what comes before the
// first ";" or ":". Deciding on it first spares parsing the many lines a
// contact has that are not read.
std::string_view writtenName(std::string_view line) {
    std::string_view name = line.substr(0, line.find_first_of(";:"));
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name.remove_prefix(dot + 1);
    }
    return name;
}

bool isCardBoundaryOrRead(std::string_view name) {
    for (std::string_view wanted : {"BEGIN", "END", "N", "FN", "NICKNAME", "TEL"}) {
        if (equalsASCIIIgnoringCase(name, wanted)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<StoreContact> readVCards(std::string_view text) {
    std::vector<StoreContact> contacts;
    std::optional<StoreContact> card;
    // 1 inside a card, more inside a card nested in it.
    int depth = 0;
    VCardLineReader lines(text);
    while (auto line = lines.nextLine()) {
        // A property passed over still needs reading when it may be
        // quoted-printable with a soft line break, so that the rest of its
        // value is not read as lines of their own.
        if (!isCardBoundaryOrRead(writtenName(*line)) && !line->ends_with('=')) {
            continue;
        }
        auto property = parseVCardProperty(*line);
        if (!property) {
            continue;
        }
        if (property->name == "BEGIN" && namesCard(*property)) {
            if (++depth == 1) {
                card.emplace();
            }
            continue;
        }
        if (property->name == "END" && namesCard(*property)) {
            if (depth == 1) {
                contacts.push_back(std::move(*card));
                card.reset();
            }
            depth = std::max(depth - 1, 0);
            continue;
        }
        if (property->isQuotedPrintable()) {
            joinSoftLineBreaks(*property, lines);
        }
        if (depth != 1) {
            continue;
        }
        addProperty(*card, *property);
    }
    if (card) {
        contacts.push_back(std::move(*card));
    }
    return contacts;
}

}  // namespace lumenary::platform
