#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::app {

// A named instruction the application can keep beside its tools.
struct Skill {
    std::string name;
    // What it is for.
    std::string description;
    // The text of the instruction itself.
    std::string instruction;

    bool operator==(const Skill&) const = default;
};

// The skills the application holds, one per name, in the order they were
// first added. Lives on the main executor and is used only there, so it
// takes no lock. Nothing is stored between runs, and nothing offers the
// skills to clients yet.
class SkillManager {
public:
    SkillManager() = default;

    // Adds `skill`, or replaces the one of the same name where it stands.
    void add(Skill skill);
    // False when no skill has that name.
    bool remove(std::string_view name);
    std::optional<Skill> find(std::string_view name) const;

    std::vector<Skill> skills;
};

}  // namespace lumenary::app
