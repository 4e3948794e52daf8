#include "app/tools/skills/skill_manager.hpp"

#include <gtest/gtest.h>

namespace lumenary::app {
namespace {

TEST(SkillManager, HoldsOneSkillPerNameInTheOrderOfFirstAdding) {
    SkillManager manager;
    manager.add({"summarise", "Short summaries", "Summarise in three sentences."});
    manager.add({"translate", "Into English", "Translate the text into English."});
    manager.add({"summarise", "Shorter summaries", "Summarise in one sentence."});

    EXPECT_EQ(manager.skills, (std::vector<Skill>{{"summarise", "Shorter summaries", "Summarise in one sentence."},
                                                  {"translate", "Into English", "Translate the text into English."}}));
    EXPECT_EQ(manager.find("translate"), (Skill{"translate", "Into English", "Translate the text into English."}));
    EXPECT_EQ(manager.find("Translate"), std::nullopt) << "names match exactly";
}

TEST(SkillManager, RemovingSaysWhetherTheNameWasHeld) {
    SkillManager manager;
    manager.add({"summarise", "", ""});
    manager.add({"translate", "", ""});

    EXPECT_TRUE(manager.remove("summarise"));
    EXPECT_FALSE(manager.remove("summarise"));
    EXPECT_EQ(manager.find("summarise"), std::nullopt);
    ASSERT_EQ(manager.skills.size(), 1U);
    EXPECT_EQ(manager.skills.front().name, "translate");
}

}  // namespace
}  // namespace lumenary::app
