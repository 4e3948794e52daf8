#include "app/tools/skills/skill_manager.hpp"

#include <algorithm>

namespace lumenary::app {

void SkillManager::add(Skill skill) {
    const auto same = std::find_if(skills.begin(), skills.end(),
                                   [&skill](const Skill& held) { return held.name == skill.name; });
    if (same != skills.end()) {
        *same = std::move(skill);
        return;
    }
    skills.push_back(std::move(skill));
}

bool SkillManager::remove(std::string_view name) {
    return std::erase_if(skills, [name](const Skill& held) { return held.name == name; }) > 0;
}

std::optional<Skill> SkillManager::find(std::string_view name) const {
    const auto found =
        std::find_if(skills.begin(), skills.end(), [name](const Skill& held) { return held.name == name; });
    if (found == skills.end()) {
        return std::nullopt;
    }
    return *found;
}

}  // namespace lumenary::app
