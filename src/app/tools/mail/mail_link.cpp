#include "app/tools/mail/mail_link.hpp"

#include <string_view>

#include "platform/text/percent_encoding.hpp"

namespace lumenary::app {

namespace {

// What a mailto header value may carry bare besides the unreserved
// characters: RFC 6068's "some-delims" with ":" and "@".
constexpr std::string_view bareInValues = "!$'()*,;:@";

// Every line break, whichever form the text came with, as CR LF.
std::string withCRLFLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '\r') {
            result += "\r\n";
            if (index + 1 < text.size() && text[index + 1] == '\n') {
                ++index;
            }
        } else if (text[index] == '\n') {
            result += "\r\n";
        } else {
            result.push_back(text[index]);
        }
    }
    return result;
}

}  // namespace

std::string mailLink(const std::string& recipient, const std::string& subject, const std::string& body) {
    std::string link = "mailto:" + platform::percentEncoded(recipient, bareInValues);
    char separator = '?';
    if (!subject.empty()) {
        link += separator;
        link += "subject=" + platform::percentEncoded(subject, bareInValues);
        separator = '&';
    }
    if (!body.empty()) {
        link += separator;
        link += "body=" + platform::percentEncoded(withCRLFLineBreaks(body), bareInValues);
    }
    return link;
}

}  // namespace lumenary::app
