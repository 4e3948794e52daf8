// The HTTP request parser fed in pieces must answer what it answers for the
// whole text at once.
#include <cstddef>
#include <cstdint>
#include <variant>

#include "app/http/http_request_parser.hpp"
#include "fuzz_check.hpp"
#include "fuzz_pieces.hpp"

using namespace lumenary::http;

namespace {

// Small limits, so that inputs reach them.
constexpr HTTPRequestLimits limits{.maximumHeaderBytes = 2048, .maximumBodyBytes = 4096};

bool sameResult(const HTTPParseResult& left, const HTTPParseResult& right) {
    if (left.index() != right.index()) return false;
    if (const auto* request = std::get_if<HTTPRequest>(&left)) {
        const auto& other = std::get<HTTPRequest>(right);
        return request->method == other.method && request->path == other.path &&
               request->headers == other.headers && request->body == other.body;
    }
    if (const auto* error = std::get_if<HTTPRequestError>(&left)) {
        return *error == std::get<HTTPRequestError>(right);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = lumenary::fuzz::piecesOf(data, size);
    const HTTPParseResult whole = parseRequest(input.stream, limits);

    HTTPRequestParser parser(limits);
    HTTPParseResult pieced = HTTPRequestIncomplete{};
    for (const auto piece : input.pieces) {
        pieced = parser.feed(piece);
        if (!std::holds_alternative<HTTPRequestIncomplete>(pieced)) break;
    }
    LUMENARY_FUZZ_CHECK(sameResult(whole, pieced));
    // The body budget charges what the parser declares after each read, the
    // read that ends the request included.
    if (const auto* request = std::get_if<HTTPRequest>(&pieced)) {
        LUMENARY_FUZZ_CHECK(parser.declaredBodyBytes() == request->body.size());
    }
    LUMENARY_FUZZ_CHECK(parser.bufferedBytes() <= limits.maximumHeaderBytes + 4 + limits.maximumBodyBytes +
                                                   ChunkedBodyReader::maximumLineBytes + 1);
    return 0;
}
