#include "app/http/chunked_body_reader.hpp"

#include <algorithm>
#include <stdexcept>

namespace lumenary::http {

namespace {

HTTPRequestError malformedChunk(std::string reason) {
    return HTTPRequestError{400, "Bad Request", std::move(reason)};
}

HTTPRequestError oversizedChunkLine(std::string reason) {
    return HTTPRequestError{431, "Request Header Fields Too Large", std::move(reason)};
}

bool endsInLineSeparator(std::string_view line) {
    return line.size() >= 2 && line[line.size() - 2] == '\r';
}

int hexDigitValue(char character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

}  // namespace

bool ChunkedBodyReader::takeLine(std::string_view& bytes) {
    // One byte past the limit is kept: enough to tell the line is too long.
    const std::size_t room = maximumLineBytes + 1 - std::min(line_.size(), maximumLineBytes + 1);
    const std::size_t newline = bytes.substr(0, room).find('\n');
    const std::size_t taken = newline == std::string_view::npos ? std::min(room, bytes.size()) : newline + 1;
    line_.append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    return newline != std::string_view::npos;
}

std::variant<ChunkedBodyReader::Incomplete, HTTPRequestError> ChunkedBodyReader::readSizeLine(std::string& body) {
    if (!endsInLineSeparator(line_)) {
        return malformedChunk("Chunk size line does not end in CR LF");
    }
    std::string_view text(line_.data(), line_.size() - 2);
    // Sizes past the room left only need to be known as too large, however
    // many digits they have.
    const std::size_t tooLarge = maximumBodyBytes_ - std::min(body.size(), maximumBodyBytes_) + 1;
    std::size_t size = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && hexDigitValue(text[digits]) >= 0; ++digits) {
        const auto digit = static_cast<std::size_t>(hexDigitValue(text[digits]));
        size = size > tooLarge / 16 ? tooLarge : std::min(tooLarge, size * 16 + digit);
    }
    text.remove_prefix(digits);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const bool hasValidExtensions =
        text.empty() || (text.front() == ';' && text.find_first_of(std::string_view("\r\0", 2)) == std::string_view::npos);
    if (digits == 0 || !hasValidExtensions) {
        return malformedChunk("Chunk size is not a hexadecimal number");
    }
    if (size >= tooLarge) {
        return HTTPRequestError{413, "Content Too Large", "Request body is too large"};
    }
    line_.clear();
    chunkLeft_ = size;
    stage_ = size == 0 ? Stage::trailer : Stage::data;
    return Incomplete{};
}

ChunkedBodyReader::Result ChunkedBodyReader::feed(std::string_view bytes, std::string& body) {
    if (stage_ == Stage::done) {
        throw std::logic_error("ChunkedBodyReader::feed after the end of the body or an error");
    }
    Result result = Incomplete{};
    while (!bytes.empty() && std::holds_alternative<Incomplete>(result)) {
        switch (stage_) {
        case Stage::size:
            if (takeLine(bytes)) {
                if (auto read = readSizeLine(body); auto* error = std::get_if<HTTPRequestError>(&read)) {
                    result = std::move(*error);
                }
            } else if (line_.size() > maximumLineBytes) {
                result = oversizedChunkLine("Chunk size line is too long");
            }
            break;
        case Stage::data: {
            const std::size_t taken = std::min(chunkLeft_, bytes.size());
            body.append(bytes.substr(0, taken));
            bytes.remove_prefix(taken);
            chunkLeft_ -= taken;
            if (chunkLeft_ == 0) stage_ = Stage::dataEnd;
            break;
        }
        case Stage::dataEnd:
            if (takeLine(bytes) ? line_ != "\r\n" : line_.size() >= 2) {
                result = malformedChunk("Chunk data does not end in CR LF");
            } else if (line_ == "\r\n") {
                line_.clear();
                stage_ = Stage::size;
            }
            break;
        case Stage::trailer: {
            const std::size_t before = line_.size();
            const bool isWhole = takeLine(bytes);
            trailerBytes_ += line_.size() - before;
            if (trailerBytes_ > maximumTrailerBytes_ || (!isWhole && line_.size() > maximumLineBytes)) {
                result = oversizedChunkLine("Request trailer fields are too large");
            } else if (isWhole && !endsInLineSeparator(line_)) {
                result = malformedChunk("Request trailer line does not end in CR LF");
            } else if (isWhole && line_.size() == 2) {
                result = Complete{bytes.size()};
            } else if (isWhole) {
                line_.clear();
            }
            break;
        }
        case Stage::done:
            break;
        }
    }
    if (!std::holds_alternative<Incomplete>(result)) {
        stage_ = Stage::done;
        line_ = std::string();
    }
    return result;
}

}  // namespace lumenary::http
