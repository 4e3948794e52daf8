#pragma once

#include <string_view>
#include <vector>

#include "platform/contacts/contact_store.hpp"

namespace lumenary::platform {

// The contacts of one vCard file (versions 2.1, 3.0 and 4.0), in the order
// of their cards. Reads N, FN, NICKNAME and every TEL; everything else is
// passed over, base64 blocks and the cards nested in a card (a 2.1 AGENT)
// included. A card that never ends is read to the end of the file. Every
// text is valid UTF-8 afterwards, whatever the bytes were.
std::vector<StoreContact> readVCards(std::string_view text);

}  // namespace lumenary::platform
