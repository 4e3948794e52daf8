#include "app/settings/port_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace lumenary::app {
namespace {

TEST(PortText, OnlyASCIIDigitsUpTo65535NameAPortAndAnythingElseWritesNothing) {
    struct Case {
        std::string text;
        std::optional<std::uint16_t> port;
    };
    const std::vector<Case> cases = {
        {"8080", 8080},
        {"08080", 8080},
        {"80a80", 8080},
        {" 80-80 ", 8080},
        {"65535", 65535},
        {"1", 1},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"0", std::nullopt},
        {"0000", std::nullopt},
        {"65536", std::nullopt},
        {"70000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"８０８０", std::nullopt},  // full-width digits
        {"80８0", std::nullopt},     // beside ASCII digits
        {"٨٠", std::nullopt},        // Arabic-Indic digits
        {"8080½", std::nullopt},     // a fraction is a number too
        {std::string(10'000, '7'), std::nullopt},
        {std::string(9'996, '0') + "8080", 8080},
        {std::string(9'996, 'x') + "8080", 8080},
        {"\xff"
         "80\xfe"
         "80",
         8080},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(portFromText(c.text), c.port) << c.text.substr(0, 40) << " (" << c.text.size() << " bytes)";
    }
}

}  // namespace
}  // namespace lumenary::app
