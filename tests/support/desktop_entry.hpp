#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace lumenary::testing {

// A reader of desktop entries written apart from the program's own writer,
// so that a test reads back what a desktop would: the keys of the
// [Desktop Entry] group with string escapes undone, and the arguments of an
// Exec line with its quoting and field-code escapes undone.
struct DesktopEntry {
    std::map<std::string, std::string> keys;
    // Key lines seen in the main group, so a duplicate shows.
    int keyLines = 0;

    static std::optional<DesktopEntry> read(const std::filesystem::path& path) {
        std::ifstream file(path);
        if (!file) {
            return std::nullopt;
        }
        std::stringstream text;
        text << file.rdbuf();
        return parse(text.str());
    }

    static DesktopEntry parse(const std::string& text) {
        DesktopEntry entry;
        std::istringstream lines(text);
        std::string line;
        bool inMain = false;
        while (std::getline(lines, line)) {
            if (line.empty() || line[0] == '#') {
                continue;
            }
            if (line[0] == '[') {
                inMain = line == "[Desktop Entry]";
                continue;
            }
            const auto equals = line.find('=');
            if (inMain && equals != std::string::npos) {
                entry.keys.emplace(trimmed(line.substr(0, equals)), unescape(trimmed(line.substr(equals + 1))));
                ++entry.keyLines;
            }
        }
        return entry;
    }

    // Nothing when the Exec value breaks the quoting rules.
    static std::optional<std::vector<std::string>> execArguments(const std::string& exec) {
        std::vector<std::string> arguments;
        std::string current;
        bool inArgument = false;
        for (std::size_t i = 0; i < exec.size(); ++i) {
            const char c = exec[i];
            if (c == ' ') {
                if (inArgument) {
                    arguments.push_back(current);
                    current.clear();
                    inArgument = false;
                }
                continue;
            }
            inArgument = true;
            if (c == '"') {
                for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                    if (exec[i] == '\\') {
                        if (++i == exec.size()) {
                            return std::nullopt;
                        }
                        const std::string escapable = "\"`$\\";
                        if (escapable.find(exec[i]) == std::string::npos) {
                            return std::nullopt;
                        }
                    } else if (exec[i] == '`' || exec[i] == '$') {
                        return std::nullopt;  // must be escaped inside quotes
                    }
                    if (!takeCharacter(exec, i, current)) {
                        return std::nullopt;
                    }
                }
                if (i == exec.size()) {
                    return std::nullopt;
                }
                continue;
            }
            const std::string reserved = "\t\n\"'\\><~|&;$*?#()`";
            if (reserved.find(c) != std::string::npos) {
                return std::nullopt;
            }
            if (!takeCharacter(exec, i, current)) {
                return std::nullopt;
            }
        }
        if (inArgument) {
            arguments.push_back(current);
        }
        return arguments;
    }

private:
    // Spaces around "=" and at the end of a line are not part of the value.
    static std::string trimmed(const std::string& text) {
        const auto first = text.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
    }

    // A "%" starts a field code; only "%%" stands for itself here.
    static bool takeCharacter(const std::string& exec, std::size_t& i, std::string& out) {
        if (exec[i] == '%') {
            if (i + 1 == exec.size() || exec[i + 1] != '%') {
                return false;
            }
            ++i;
        }
        out += exec[i];
        return true;
    }

    static std::string unescape(const std::string& value) {
        std::string out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                const char next = value[++i];
                out += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
                if (next != 's' && next != 'n' && next != 't' && next != 'r' && next != '\\') {
                    out.insert(out.size() - 1, 1, '\\');
                }
            } else {
                out += value[i];
            }
        }
        return out;
    }
};

}  // namespace lumenary::testing
