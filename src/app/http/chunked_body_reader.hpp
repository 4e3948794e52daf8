#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "app/http/http_request_error.hpp"

namespace lumenary::http {

// Reads a body sent in chunks, in whatever pieces its bytes come: each chunk
// a size in hexadecimal (extensions after a ';' are ignored), CR LF, that
// many bytes, CR LF; then a chunk of size 0, trailer lines (ignored) and an
// empty line. It knows nothing of sockets.
//
// It holds at most one line of up to `maximumLineBytes` besides the body. A
// chunk that would take the body past `maximumBodyBytes` is 413 before its
// data is read; a size line or a trailer section past its limit is 431; a
// size that is not hexadecimal, and a line or a chunk's data not ended by CR
// LF, are 400.
//
// A plain value with no locks: one thread at a time feeds it, as its parser's.
class ChunkedBodyReader {
public:
    static constexpr std::size_t maximumLineBytes = 1024;

    struct Incomplete {};
    // The body is whole; `unreadBytes` of the last piece came after it.
    struct Complete {
        std::size_t unreadBytes;
    };
    using Result = std::variant<Incomplete, Complete, HTTPRequestError>;

    ChunkedBodyReader(std::size_t maximumBodyBytes, std::size_t maximumTrailerBytes)
        : maximumBodyBytes_(maximumBodyBytes), maximumTrailerBytes_(maximumTrailerBytes) {}

    // Appends the data of `bytes` to `body`. The end or the error comes once;
    // feeding more after that is a logic error.
    Result feed(std::string_view bytes, std::string& body);

    // The body bytes the chunks announced so far: those read, and the rest
    // of the chunk being read.
    std::size_t announcedBodyBytes(const std::string& body) const noexcept { return body.size() + chunkLeft_; }
    std::size_t bufferedLineBytes() const noexcept { return line_.size(); }

private:
    enum class Stage : std::uint8_t { size, data, dataEnd, trailer, done };

    // Takes bytes of a CR LF ended line; true once `line_` holds one whole.
    bool takeLine(std::string_view& bytes);
    std::variant<Incomplete, HTTPRequestError> readSizeLine(std::string& body);

    const std::size_t maximumBodyBytes_;
    const std::size_t maximumTrailerBytes_;
    Stage stage_ = Stage::size;
    std::string line_;
    std::size_t chunkLeft_ = 0;
    std::size_t trailerBytes_ = 0;
};

}  // namespace lumenary::http
