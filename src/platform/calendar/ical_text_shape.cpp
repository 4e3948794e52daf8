#include "platform/calendar/ical_text_shape.hpp"

#include <algorithm>

namespace lumenary::platform {

namespace {

// libical reads a text in pieces of this many bytes.
constexpr std::size_t libicalReadBytes = 79;

bool isASCIISpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool equalsIgnoringCase(std::string_view text, std::string_view upperWord) {
    return text.size() == upperWord.size() &&
           std::equal(text.begin(), text.end(), upperWord.begin(), [](char c, char upper) {
               return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == upper;
           });
}

// A line as libical cuts it from the text, without its end.
struct RawLine {
    std::string_view content;
    bool ended = false;
};

// libical's lines: each up to a line feed. After the last line feed it cuts
// at each carriage return instead, and where one is more than 79 bytes away
// it ends the line after 78 bytes, taking the 79th as the line's end.
class RawLines {
public:
    explicit RawLines(std::string_view text) : text_(text), lastLineFeed_(text.rfind('\n')) {
        const std::size_t tailStart = lastLineFeed_ == std::string_view::npos ? 0 : lastLineFeed_ + 1;
        // libical looks for a line feed across the whole rest of the text
        // for every piece it reads, so the part after the last one costs
        // as one line.
        longest_ = text_.size() - tailStart;
    }

    bool next(RawLine& line) {
        if (position_ >= text_.size()) {
            return false;
        }
        const std::size_t start = position_;
        if (lastLineFeed_ != std::string_view::npos && start <= lastLineFeed_) {
            const std::size_t feed = text_.find('\n', start);
            position_ = feed + 1;
            longest_ = std::max(longest_, position_ - start);
            line = {text_.substr(start, feed - start), true};
            return true;
        }
        const std::size_t carriageReturn = text_.find('\r', start);
        if (carriageReturn == std::string_view::npos) {
            position_ = text_.size();
            line = {text_.substr(start), false};
            return true;
        }
        const std::size_t size = std::min(carriageReturn + 1 - start, libicalReadBytes);
        position_ = start + size;
        line = {text_.substr(start, size - 1), true};
        return true;
    }

    std::size_t longest() const { return longest_; }

private:
    std::string_view text_;
    std::size_t lastLineFeed_;
    std::size_t position_ = 0;
    std::size_t longest_ = 0;
};

// libical's unfolded lines: a line that begins with a space or a tab
// continues the one before unless that one is empty; the fold drops the
// line end, one carriage return before it and the space. A line's own end
// and one carriage return before it are dropped.
class UnfoldedLines {
public:
    explicit UnfoldedLines(std::string_view text) : raw_(text) { hasPending_ = raw_.next(pending_); }

    bool next(std::string& line) {
        if (!hasPending_) {
            return false;
        }
        line.assign(pending_.content);
        bool ended = pending_.ended;
        hasPending_ = raw_.next(pending_);
        while (hasPending_ && ended && !line.empty() && !pending_.content.empty() &&
               (pending_.content.front() == ' ' || pending_.content.front() == '\t')) {
            if (line.back() == '\r') {
                line.pop_back();
            }
            line.append(pending_.content.substr(1));
            ended = pending_.ended;
            hasPending_ = raw_.next(pending_);
        }
        if (ended && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }

    std::size_t longestRawLine() const { return raw_.longest(); }

private:
    RawLines raw_;
    RawLine pending_;
    bool hasPending_ = false;
};

// Where libical's search from `start` for the end of a name or a parameter
// stops: the byte at `start` itself is passed over, a quoted part is
// skipped, and a byte after a backslash never ends anything.
std::size_t separatorAfter(std::string_view line, std::size_t start) {
    bool quoted = false;
    for (std::size_t index = start + 1; index < line.size(); ++index) {
        if (line[index - 1] == '\\') {
            continue;
        }
        if (line[index] == '"') {
            quoted = !quoted;
        } else if (!quoted && (line[index] == ';' || line[index] == ':')) {
            return index;
        }
    }
    return std::string_view::npos;
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\n") == std::string_view::npos;
}

// How many parameters libical reads after a name that ends at `nameEnd`: at
// most one per separator up to the one that starts the value.
std::size_t parametersAfter(std::string_view line, std::size_t nameEnd) {
    std::size_t count = 0;
    for (std::size_t end = nameEnd; line[end] == ';';) {
        end = separatorAfter(line, end + 1);
        if (end == std::string_view::npos) {
            break;
        }
        ++count;
    }
    return count;
}

// RRULE:FREQ=DAILY,FREQ=WEEKLY is two rules to libical.
std::size_t rulesOn(std::string_view line) {
    std::size_t count = 1;
    for (std::size_t at = line.find(",FREQ"); at != std::string_view::npos; at = line.find(",FREQ", at + 1)) {
        ++count;
    }
    return count;
}

// libical makes a property of each value of these, each carrying all of
// the line's parameters, and keeps at most this many from one line.
constexpr std::size_t libicalValuesPerLine = 500;

bool splitsIntoValues(std::string_view name) {
    return equalsIgnoringCase(name, "CATEGORIES") || equalsIgnoringCase(name, "RESOURCES") ||
           equalsIgnoringCase(name, "EXDATE") || equalsIgnoringCase(name, "RDATE") ||
           equalsIgnoringCase(name, "FREEBUSY");
}

// How many values libical may cut from a line whose name ends at
// `nameEnd`: one more than the commas after the name that it could take
// for separators. A comma one or three bytes after a backslash never is
// one. Every other comma counts, in a parameter or between quotes too:
// libical starts reading values early when a parameter fails, and starts
// each search for the next comma afresh, outside quotes, past the byte it
// starts on.
std::size_t valuesAfter(std::string_view line, std::size_t nameEnd) {
    std::size_t values = 1;
    for (std::size_t at = line.find(',', nameEnd + 1); at != std::string_view::npos && values < libicalValuesPerLine;
         at = line.find(',', at + 1)) {
        if (line[at - 1] != '\\' && (at < 3 || line[at - 3] != '\\')) {
            ++values;
        }
    }
    return values;
}

class ShapeMeasure {
public:
    void take(std::string_view line) {
        if (isBlank(line)) {
            return;
        }
        const std::size_t nameEnd = separatorAfter(line, 0);
        std::string_view name = nameEnd == std::string_view::npos ? std::string_view() : line.substr(0, nameEnd);
        while (!name.empty() && isASCIISpace(name.back())) {
            name.remove_suffix(1);
        }
        if (equalsIgnoringCase(name, "BEGIN")) {
            ++level_;
            ++shape_.components;
            deepest_ = std::max(deepest_, level_);
            return;
        }
        if (equalsIgnoringCase(name, "END")) {
            if (level_ > 0 && --level_ == 0) {
                ++outermost_;
            }
            return;
        }
        // Outside every component libical keeps nothing of a line; inside
        // one, a line it cannot read becomes a property describing it.
        if (level_ == 0) {
            return;
        }
        if (name.empty()) {
            ++shape_.properties;
            return;
        }
        const std::size_t rules = equalsIgnoringCase(name, "RRULE") || equalsIgnoringCase(name, "EXRULE") ? rulesOn(line) : 0;
        shape_.recurrenceRules += rules;
        shape_.properties += std::max<std::size_t>(rules, 1);
        const std::size_t values = splitsIntoValues(name) ? valuesAfter(line, nameEnd) : 1;
        shape_.properties += values - 1;
        // Each parameter may also add a property describing it, once for
        // the line.
        const std::size_t parameters = parametersAfter(line, nameEnd);
        shape_.properties += parameters;
        shape_.parameters += values * parameters;
        shape_.mostParametersOnAProperty = std::max(shape_.mostParametersOnAProperty, parameters);
        shape_.mostParameterWork = std::max(shape_.mostParameterWork, parameters * line.size());
    }

    ICalTextShape shape() const {
        ICalTextShape shape = shape_;
        shape.nestingDepth = deepest_ + (outermost_ > 1 ? 1 : 0);
        return shape;
    }

private:
    ICalTextShape shape_;
    std::size_t level_ = 0;
    std::size_t deepest_ = 0;
    std::size_t outermost_ = 0;
};

// What libical allocates for each, measured with the libical of Debian 12
// (3.0.16): a recurrence rule's structure is about 3 KB beside its
// property's own.
constexpr std::size_t libicalComponentBytes = 230;
constexpr std::size_t libicalPropertyBytes = 350;
constexpr std::size_t libicalRuleBytes = 2'700;
constexpr std::size_t libicalParameterBytes = 64;

std::size_t libicalMemoryOf(const ICalTextShape& shape) {
    return shape.components * libicalComponentBytes + shape.properties * libicalPropertyBytes +
           shape.recurrenceRules * libicalRuleBytes + shape.parameters * libicalParameterBytes;
}

std::string exceeded(const char* what, std::size_t value, std::size_t bound) {
    return std::string(what) + " (" + std::to_string(value) + ", more than " + std::to_string(bound) + ")";
}

}  // namespace

ICalTextShape icalTextShapeOf(std::string_view text) {
    // libical is handed a C string and skips a byte order mark.
    text = text.substr(0, text.find('\0'));
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    UnfoldedLines lines(text);
    ShapeMeasure measure;
    std::string line;
    while (lines.next(line)) {
        measure.take(line);
    }
    ICalTextShape shape = measure.shape();
    shape.longestRawLine = lines.longestRawLine();
    return shape;
}

std::optional<std::string> icalTextBoundExceeded(const ICalTextShape& shape, const ICalTextBounds& bounds) {
    if (shape.longestRawLine > bounds.rawLineBytes) {
        return exceeded("a line is too long", shape.longestRawLine, bounds.rawLineBytes);
    }
    if (shape.nestingDepth > bounds.nestingDepth) {
        return exceeded("its components nest too deep", shape.nestingDepth, bounds.nestingDepth);
    }
    if (shape.components > bounds.components) {
        return exceeded("it holds too many components", shape.components, bounds.components);
    }
    if (shape.properties > bounds.properties) {
        return exceeded("it holds too many properties", shape.properties, bounds.properties);
    }
    if (shape.recurrenceRules > bounds.recurrenceRules) {
        return exceeded("it holds too many recurrence rules", shape.recurrenceRules, bounds.recurrenceRules);
    }
    if (shape.parameters > bounds.parameters) {
        return exceeded("it holds too many parameters", shape.parameters, bounds.parameters);
    }
    if (const std::size_t memory = libicalMemoryOf(shape); memory > bounds.libicalMemoryBytes) {
        constexpr std::size_t mebibyte = 1024 * 1024;
        return "it would take libical too much memory (" + std::to_string((memory + mebibyte - 1) / mebibyte) +
               " MiB, more than " +
               std::to_string(bounds.libicalMemoryBytes / mebibyte) + " MiB)";
    }
    if (shape.mostParametersOnAProperty > bounds.parametersPerProperty) {
        return exceeded("a property has too many parameters", shape.mostParametersOnAProperty,
                        bounds.parametersPerProperty);
    }
    if (shape.mostParameterWork > bounds.parameterWork) {
        return exceeded("a property has too many parameters for the length of its line", shape.mostParameterWork,
                        bounds.parameterWork);
    }
    return std::nullopt;
}

}  // namespace lumenary::platform
