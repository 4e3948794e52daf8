#pragma once

#include <string>
#include <string_view>

namespace lumenary::app {

// A phone number as the messages tools match and send it: only its number
// characters (of any script) and plus signs, in order; ten characters
// without a leading plus sign are a North American number and get "+1"
// before them. "(555) 123-4567" is "+15551234567"; "555-1234" stays
// "5551234"; letters vanish, so "ABC" is empty.
std::string normalizePhoneNumber(std::string_view phoneNumber);

}  // namespace lumenary::app
