#include "app/http/http_request_parser.hpp"

#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>
#include <vector>

#include "system/utf8.hpp"

namespace lumenary::http {

namespace {

constexpr std::string_view headerTerminator = "\r\n\r\n";
constexpr std::string_view lineSeparator = "\r\n";

HTTPRequestError badRequest(std::string reason) {
    return HTTPRequestError{400, "Bad Request", std::move(reason)};
}

bool isHorizontalWhitespace(char character) {
    return character == ' ' || character == '\t' || character == '\v' || character == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isHorizontalWhitespace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isHorizontalWhitespace(text.back())) text.remove_suffix(1);
    return text;
}

std::string lowerCased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return result;
}

// Plain decimal digits only: a sign, a blank inside or anything else would
// let two readers of the same request disagree on where the body ends.
// Values past the body limit only need to be known as too large.
std::optional<std::size_t> contentLengthValue(std::string_view text, std::size_t tooLarge) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (char character : text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        value = std::min(tooLarge, value * 10 + static_cast<std::size_t>(character - '0'));
    }
    return value;
}

// The headers the endpoint's checks read: each must stand once, on one line.
bool isGuardedHeader(std::string_view lowerCasedName) {
    return lowerCasedName == "origin" || lowerCasedName == "host";
}

std::string displayName(std::string_view lowerCasedName) {
    return lowerCasedName == "origin" ? "Origin" : "Host";
}

}  // namespace

HTTPParseResult HTTPRequestParser::feed(std::string_view bytes) {
    if (finished_) {
        throw std::logic_error("HTTPRequestParser::feed after the request or an error");
    }
    HTTPParseResult result = HTTPRequestIncomplete{};
    if (headRead_) {
        result = takeBodyBytes(bytes);
    } else {
        // Never more than one byte past the limit is kept: enough to tell
        // that the head is too long when no terminator is in sight.
        const std::size_t room = limits_.maximumHeaderBytes + headerTerminator.size() - head_.size();
        head_.append(bytes.substr(0, room));
        result = readHead();
        if (std::holds_alternative<HTTPRequestIncomplete>(result) && headRead_) {
            result = takeBodyBytes(bytes.substr(std::min(bytes.size(), room)));
        }
    }
    if (!std::holds_alternative<HTTPRequestIncomplete>(result)) {
        finished_ = true;
        head_ = std::string();
    }
    return result;
}

HTTPParseResult HTTPRequestParser::readHead() {
    const std::size_t searchFrom = searchedUpTo_ < headerTerminator.size() ? 0 : searchedUpTo_ - 3;
    const std::size_t end = head_.find(headerTerminator, searchFrom);
    // A head whose lines end in a bare LF never holds CR LF CR LF: waiting
    // for it would hold the connection until its deadline. It is refused as
    // soon as the bare LF is in, whatever comes after it.
    const std::size_t headEnd = std::min(end, head_.size());
    for (std::size_t index = head_.find('\n', bareLineFeedScannedUpTo_); index < headEnd;
         index = head_.find('\n', index + 1)) {
        if (index == 0 || head_[index - 1] != '\r') {
            return badRequest("Request header line ends in a bare LF");
        }
    }
    bareLineFeedScannedUpTo_ = headEnd;
    if (end == std::string::npos || end > limits_.maximumHeaderBytes) {
        searchedUpTo_ = head_.size();
        if (head_.size() > limits_.maximumHeaderBytes + headerTerminator.size() - 1 || end != std::string::npos) {
            return HTTPRequestError{431, "Request Header Fields Too Large", "Request header block is too large"};
        }
        return HTTPRequestIncomplete{};
    }
    headRead_ = true;

    const std::string_view block(head_.data(), end);
    if (!system::isValidUTF8(block)) {
        return badRequest("Request header block is not valid UTF-8");
    }

    std::size_t lineStart = 0;
    std::optional<std::string_view> declaredLength;
    std::optional<std::string_view> transferEncoding;
    bool isRequestLine = true;
    std::string_view previousName;
    while (lineStart <= block.size()) {
        std::size_t lineEnd = block.find(lineSeparator, lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = block.size();
        const std::string_view line = block.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + lineSeparator.size();

        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            return badRequest("Request header line holds a lone CR, LF or NUL");
        }
        if (isRequestLine) {
            isRequestLine = false;
            std::vector<std::string_view> words;
            std::size_t wordStart = 0;
            while (wordStart < line.size()) {
                const std::size_t wordEnd = std::min(line.find(' ', wordStart), line.size());
                if (wordEnd > wordStart) words.push_back(line.substr(wordStart, wordEnd - wordStart));
                wordStart = wordEnd + 1;
            }
            if (words.size() < 2) {
                return badRequest("Request line needs a method and a path");
            }
            request_.method = words[0];
            request_.path = words[1];
            continue;
        }
        // A line that starts with a blank continues the line before it in
        // some readers and stands alone in others: a header read one way
        // here and another way by a reader in front (a Transfer-Encoding, an
        // origin or a host) would frame the body differently or pass the
        // checks that keep web pages out.
        const bool isFolded = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (isFolded) {
            return badRequest(isGuardedHeader(previousName)
                                  ? displayName(previousName) + " header is folded over several lines"
                                  : std::string("Request header line is folded over several lines"));
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            previousName = {};
            continue;
        }
        // "Transfer-Encoding\t: chunked" is no header to a strict reader and
        // chunked to a lenient one: the same disagreement.
        const std::string_view rawName = line.substr(0, colon);
        if (std::any_of(rawName.begin(), rawName.end(), isHorizontalWhitespace)) {
            return badRequest("Request header name holds whitespace");
        }
        std::string name = lowerCased(rawName);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (isGuardedHeader(name) && request_.headers.contains(name)) {
            return badRequest("Request has more than one " + displayName(name) + " header");
        }
        if (name == "content-length") {
            if (declaredLength && *declaredLength != value) {
                return badRequest("Content-Length is given twice with different values");
            }
            declaredLength = value;
        }
        if (name == "transfer-encoding") {
            if (transferEncoding) {
                return badRequest("Transfer-Encoding is given twice");
            }
            transferEncoding = value;
        }
        previousName = request_.headers.insert_or_assign(std::move(name), std::string(value)).first->first;
    }

    if (transferEncoding) {
        if (declaredLength) {
            return badRequest("Request has both Transfer-Encoding and Content-Length");
        }
        if (lowerCased(*transferEncoding) != "chunked") {
            return HTTPRequestError{501, "Not Implemented", "Only the chunked Transfer-Encoding is supported"};
        }
        chunkedBody_.emplace(limits_.maximumBodyBytes, limits_.maximumHeaderBytes);
    } else if (declaredLength) {
        const std::size_t tooLarge = limits_.maximumBodyBytes + 1;
        const auto length = contentLengthValue(*declaredLength, tooLarge);
        if (!length) {
            return badRequest("Content-Length is not a decimal number");
        }
        if (*length >= tooLarge) {
            return HTTPRequestError{413, "Content Too Large", "Request body is too large"};
        }
        contentLength_ = *length;
    }
    return takeBodyBytes(std::string_view(head_).substr(end + headerTerminator.size()));
}

std::optional<std::size_t> HTTPRequestParser::declaredBodyBytes() const noexcept {
    if (!headRead_) {
        return std::nullopt;
    }
    return chunkedBody_ ? announcedChunkedBytes_ : contentLength_;
}

HTTPParseResult HTTPRequestParser::takeBodyBytes(std::string_view bytes) {
    if (chunkedBody_) {
        auto read = chunkedBody_->feed(bytes, request_.body);
        // Kept apart from the body, which leaves with the request: the read
        // that completes it must still be charged for its bytes.
        announcedChunkedBytes_ = chunkedBody_->announcedBodyBytes(request_.body);
        if (auto* error = std::get_if<HTTPRequestError>(&read)) {
            return std::move(*error);
        }
        if (const auto* complete = std::get_if<ChunkedBodyReader::Complete>(&read)) {
            excessBytes_ += complete->unreadBytes;
            return std::move(request_);
        }
        return HTTPRequestIncomplete{};
    }
    // Taken whole at its first byte: growing by doubling would hold two
    // copies of a large body at once, one of them up to twice its size.
    if (request_.body.empty() && !bytes.empty()) {
        request_.body.reserve(contentLength_);
    }
    const std::size_t wanted = contentLength_ - request_.body.size();
    request_.body.append(bytes.substr(0, wanted));
    excessBytes_ += bytes.size() - std::min(bytes.size(), wanted);
    if (request_.body.size() < contentLength_) {
        return HTTPRequestIncomplete{};
    }
    return std::move(request_);
}

HTTPParseResult parseRequest(std::string_view bytes, HTTPRequestLimits limits) {
    HTTPRequestParser parser(limits);
    return parser.feed(bytes);
}

}  // namespace lumenary::http
