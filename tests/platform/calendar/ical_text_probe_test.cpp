#include <gtest/gtest.h>

#include "platform/calendar/ical_text_probe.hpp"

namespace lumenary::platform {
namespace {

TEST(ICalTextProbe, FindsAWordInAnyCaseAndAcrossFoldedLinesAndNothingElse) {
    struct Case {
        std::string text;
        bool mentioned;
    };
    const std::vector<Case> cases = {
        {"BEGIN:VTODO\r\nSTATUS:COMPLETED\r\n", true},
        {"begin:vtodo\r\nstatus:Completed\r\n", true},
        {"STATUS:COMPL\r\n ETED\r\n", true},
        {"STATUS:COMP\n\tLETED\n", true},
        {"STATUS:COMPL\r\nETED\r\n", false},
        {"STATUS:NEEDS-ACTION\r\nDESCRIPTION:long\r\n  line\r\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(icalTextMayMention(c.text, "COMPLETED"), c.mentioned) << c.text;
    }
}

}  // namespace
}  // namespace lumenary::platform
