// The vCard reader takes any bytes, and every text it gives is UTF-8.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "platform/contacts/vcard_reader.hpp"
#include "system/utf8.hpp"

using namespace lumenary::platform;
using lumenary::system::isValidUTF8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto contacts = readVCards(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const StoreContact& contact : contacts) {
        LUMENARY_FUZZ_CHECK(isValidUTF8(contact.formattedName));
        if (contact.name) {
            LUMENARY_FUZZ_CHECK(isValidUTF8(contact.name->familyName));
            LUMENARY_FUZZ_CHECK(isValidUTF8(contact.name->givenName));
            for (const auto& other : contact.name->otherNames) LUMENARY_FUZZ_CHECK(isValidUTF8(other));
        }
        for (const auto& nickname : contact.nicknames) LUMENARY_FUZZ_CHECK(isValidUTF8(nickname));
        for (const auto& number : contact.phoneNumbers) LUMENARY_FUZZ_CHECK(isValidUTF8(number));
    }
    return 0;
}
