#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/http/chunked_body_reader.hpp"
#include "app/http/http_request.hpp"
#include "app/http/http_request_error.hpp"

namespace lumenary::http {

struct HTTPRequestLimits {
    // The request line and the header lines, without the blank line.
    std::size_t maximumHeaderBytes = 64 * 1024;
    std::size_t maximumBodyBytes = 32 * 1024 * 1024;
};

struct HTTPRequestIncomplete {};

using HTTPParseResult = std::variant<HTTPRequestIncomplete, HTTPRequest, HTTPRequestError>;

// Reads one request from the bytes a connection delivers, in whatever
// pieces they come: a head ended by a blank line (CR LF CR LF), then exactly
// Content-Length body bytes (none without the header), or a body in chunks
// under "Transfer-Encoding: chunked" (see ChunkedBodyReader). It knows
// nothing of sockets. Bytes after the request are not kept: a connection
// serves one request.
//
// It never holds more than the limits allow: a head past its limit is 431, a
// declared body or a chunk past its limit 413 before any of it is read, and a
// Content-Length that is not plain decimal digits, or that is given twice
// with different values, is 400. So is a request with both Content-Length
// and Transfer-Encoding, or with Transfer-Encoding twice (two readers could
// end its body in two places); a Transfer-Encoding other than chunked is 501,
// as nothing here can undo it. A head that is not UTF-8, a request line of
// fewer than two words, a header line holding a lone CR, a lone LF or a NUL
// (which would let a value smuggle a line into our own response headers), a
// line folded over a continuation line, a header name holding whitespace
// ("Host : x"), and an Origin or Host header given twice (whichever way a
// check read it, another reader could take it the other way) are 400 as
// well. Lines end in CR LF only: a head with a line ended by a bare LF is
// 400 as soon as that LF is in, rather than waited on for a blank line that
// would never come.
class HTTPRequestParser {
public:
    explicit HTTPRequestParser(HTTPRequestLimits limits = {}) : limits_(limits) {}

    // Takes the next bytes. The request or the error comes once; feeding more
    // after that is a logic error.
    HTTPParseResult feed(std::string_view bytes);

    // Once the head has been read, the body bytes the request announced so
    // far: its Content-Length (0 without one), or what its chunks announced.
    std::optional<std::size_t> declaredBodyBytes() const noexcept;
    // Bytes held so far, head and body.
    std::size_t bufferedBytes() const noexcept {
        return head_.size() + request_.body.size() + (chunkedBody_ ? chunkedBody_->bufferedLineBytes() : 0);
    }
    // Bytes fed after the end of the request, which nothing reads.
    std::size_t excessBytes() const noexcept { return excessBytes_; }

private:
    HTTPParseResult readHead();
    HTTPParseResult takeBodyBytes(std::string_view bytes);

    HTTPRequestLimits limits_;
    bool finished_ = false;
    bool headRead_ = false;
    // Until the blank line has arrived: every byte so far.
    std::string head_;
    // Where the search for the blank line goes on after the last feed.
    std::size_t searchedUpTo_ = 0;
    std::size_t contentLength_ = 0;
    // Where the search for a line ended by a bare LF goes on.
    std::size_t bareLineFeedScannedUpTo_ = 0;
    // For a chunked body: what reads it, and the body bytes it announced.
    std::optional<ChunkedBodyReader> chunkedBody_;
    std::size_t announcedChunkedBytes_ = 0;
    std::size_t excessBytes_ = 0;
    HTTPRequest request_;
};

// The whole of `bytes` read as one request; the one-shot form of the parser.
HTTPParseResult parseRequest(std::string_view bytes, HTTPRequestLimits limits = {});

}  // namespace lumenary::http
