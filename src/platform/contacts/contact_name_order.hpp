#pragma once

#include <string>
#include <string_view>

#include "platform/contacts/contact_store.hpp"

namespace lumenary::platform {

// Whether `text` is written in Han, Hiragana, Katakana or Hangul: it has a
// letter of one of them and no letter of another script. Names in those
// scripts are written family name first, without a space.
bool isWrittenFamilyNameFirst(std::string_view text);

// A structured name as its own script writes it: "王小明", "김민준",
// "Anne Lee". An empty part leaves no space behind.
std::string writtenName(const ContactName& name);

}  // namespace lumenary::platform
