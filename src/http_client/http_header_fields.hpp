#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::http_client {

// Header fields in the order they were given or received. Field names are
// case-insensitive in HTTP, so lookups ignore case.
class HTTPHeaderFields {
public:
    struct Field {
        std::string name;
        std::string value;
    };

    HTTPHeaderFields() = default;
    HTTPHeaderFields(std::initializer_list<Field> fields) : fields_(fields) {}

    void add(std::string name, std::string value);
    // Adds the field of one received head line ("Name: value", spaces and
    // line end trimmed); a line without a colon adds nothing.
    void addLine(std::string_view line);
    // The value of the first field called `name` in any case.
    std::optional<std::string> value(std::string_view name) const;

    const std::vector<Field>& fields() const noexcept { return fields_; }
    bool empty() const noexcept { return fields_.empty(); }
    void clear() noexcept { fields_.clear(); }

private:
    std::vector<Field> fields_;
};

// Whether a Content-Type value names `mediaType` ("type/subtype"): compared
// without regard to case, parameters and surrounding spaces ignored, so
// "Text/Event-Stream; charset=utf-8" is "text/event-stream".
bool isMediaType(std::string_view contentType, std::string_view mediaType);

}  // namespace lumenary::http_client
