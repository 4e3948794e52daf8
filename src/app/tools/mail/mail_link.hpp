#pragma once

#include <string>

namespace lumenary::app {

// The "mailto:" link that opens a composer for `recipient` with the subject
// and body filled in; an empty subject or body is left out. Every value is
// percent-encoded as a header value of such a link must be, so no text can
// end its field or add another ("?", "&", "=", "#", "+" and "%" are all
// encoded; letters, digits, "-._~" and "!$'()*,;:@" stay bare), and line
// breaks in the body are sent as CR LF.
std::string mailLink(const std::string& recipient, const std::string& subject, const std::string& body);

}  // namespace lumenary::app
