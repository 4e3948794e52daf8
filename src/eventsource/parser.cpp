#include "eventsource/parser.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "system/utf8.hpp"

namespace lumenary::eventsource {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Room kept for the next event's data at most, so one huge event does not
// hold its size for the rest of the stream.
constexpr std::size_t maximumReservedDataBytes = 4 * 1024 * 1024;

struct LineScan {
    // The first CR or LF, or npos.
    std::size_t end;
    // Whether every byte before it is ASCII, which needs no UTF-8 check.
    bool ascii;
};

// One pass for the line's end and for bytes beyond ASCII: a search for LF,
// another for CR and a UTF-8 check would each read the line again.
LineScan scanLine(std::string_view bytes) {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t index = 0;
    bool ascii = true;
#if defined(__SSE2__)
    // Thirty-two bytes at a time with the vector unit every x86-64 has.
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    for (; index + 32 <= size; index += 32) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + index));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + index + 16));
        const auto terminators = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(first, newline), _mm_cmpeq_epi8(first, carriageReturn))) |
            (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(second, newline), _mm_cmpeq_epi8(second, carriageReturn)))
             << 16));
        const auto highBits =
            static_cast<std::uint32_t>(_mm_movemask_epi8(first) | (_mm_movemask_epi8(second) << 16));
        if (terminators != 0) {
            const auto offset = static_cast<unsigned>(__builtin_ctz(terminators));
            const std::uint32_t before = (std::uint32_t{1} << offset) - 1;
            return {index + offset, ascii && (highBits & before) == 0};
        }
        ascii = ascii && highBits == 0;
    }
#endif
    for (; index < size; ++index) {
        const auto character = static_cast<unsigned char>(data[index]);
        if (character == '\n' || character == '\r') {
            return {index, ascii};
        }
        ascii = ascii && character < 0x80;
    }
    return {std::string_view::npos, ascii};
}

}  // namespace

namespace {

// A base-10 signed 64-bit integer: an optional sign, then digits only.
std::optional<std::int64_t> retryValue(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Gathered as a negative number, whose range holds the minimum too.
    std::int64_t value = 0;
    constexpr auto minimum = std::numeric_limits<std::int64_t>::min();
    for (const char character : text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        const int digit = character - '0';
        if (value < (minimum + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (negative) {
        return value;
    }
    if (value == minimum) {
        return std::nullopt;
    }
    return -value;
}

}  // namespace

void Parser::consume(std::uint8_t byte) {
    if (byte == '\r') {
        endBufferedLine();
        sawCR_ = true;
    } else if (byte == '\n') {
        if (sawCR_) {
            sawCR_ = false;
        } else {
            endBufferedLine();
        }
    } else {
        sawCR_ = false;
        const char character = static_cast<char>(byte);
        appendToLine(std::string_view(&character, 1), byte < 0x80);
    }
}

void Parser::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (sawCR_) {
            sawCR_ = false;
            if (bytes.front() == '\n') {
                bytes.remove_prefix(1);
                continue;
            }
        }
        const auto [end, ascii] = scanLine(bytes);
        if (end == std::string_view::npos) {
            appendToLine(bytes, ascii);
            return;
        }
        if (lineBuffer_.empty() && !lineTooLong_ && !streamedValueStart_ && end <= maximumLineBytes_) {
            // The whole line is in this piece: no copy into the buffer.
            processRawLine(bytes.substr(0, end), ascii);
        } else {
            appendToLine(bytes.substr(0, end), ascii);
            endBufferedLine();
        }
        sawCR_ = bytes[end] == '\r';
        bytes.remove_prefix(end + 1);
    }
}

void Parser::finish() {
    if (sawCR_) {
        processLine({});
        sawCR_ = false;
    }
    if (!lineBuffer_.empty() || lineTooLong_ || streamedValueStart_) {
        endBufferedLine();
    }
    if (!currentData_.empty() || currentEventId_ || currentEventType_) {
        processLine({});
    }
}

std::optional<Event> Parser::nextEvent() {
    if (eventQueueHead_ == eventQueue_.size()) {
        return std::nullopt;
    }
    std::optional<Event> event(std::move(eventQueue_[eventQueueHead_++]));
    if (eventQueueHead_ == eventQueue_.size()) {
        eventQueue_.clear();
        eventQueueHead_ = 0;
    }
    return event;
}

void Parser::discardPartialEvent() {
    streamedValueStart_.reset();
    lineBuffer_.clear();
    lineBufferASCII_ = true;
    lineTooLong_ = false;
    sawCR_ = false;
    currentEventId_.reset();
    currentEventType_.reset();
    currentData_.clear();
    currentRetry_.reset();
    seenDataField_ = false;
    eventTooLarge_ = false;
}

void Parser::appendToLine(std::string_view bytes, bool ascii) {
    if (lineTooLong_) {
        return;
    }
    if (streamedValueStart_) {
        appendStreamedValue(bytes, ascii);
        return;
    }
    lineBufferASCII_ = lineBufferASCII_ && ascii;
    if (lineBuffer_.size() + bytes.size() > maximumLineBytes_) {
        lineTooLong_ = true;
        lineBuffer_.clear();
        lineBufferASCII_ = true;
        lineBuffer_.shrink_to_fit();
        return;
    }
    lineBuffer_.append(bytes);
    streamIfDataLine();
}

void Parser::streamIfDataLine() {
    if (eventTooLarge_) {
        return;
    }
    std::string_view line = lineBuffer_;
    if (line.starts_with(byteOrderMark)) {
        line.remove_prefix(byteOrderMark.size());
    }
    // The byte after the colon decides where the value starts.
    if (line.size() < 6 || !line.starts_with("data:")) {
        return;
    }
    std::string_view value = line.substr(5);
    if (value.front() == ' ') {
        value.remove_prefix(1);
    }
    const std::size_t separator = currentData_.empty() ? 0 : 1;
    if (currentData_.size() + separator + value.size() > maximumLineBytes_) {
        return;
    }
    if (separator != 0) {
        currentData_.push_back('\n');
    }
    streamedValueStart_ = currentData_.size();
    streamedPrefixBytes_ = lineBuffer_.size() - value.size();
    streamedValueASCII_ = lineBufferASCII_;
    currentData_.append(value);
    seenDataField_ = true;
    lineBuffer_.clear();
    lineBufferASCII_ = true;
}

void Parser::appendStreamedValue(std::string_view bytes, bool ascii) {
    const std::size_t lineBytes = streamedPrefixBytes_ + currentData_.size() - *streamedValueStart_;
    if (lineBytes + bytes.size() > maximumLineBytes_ || currentData_.size() + bytes.size() > maximumLineBytes_) {
        streamedValueStart_.reset();
        lineTooLong_ = true;
        dropEvent();
        return;
    }
    currentData_.append(bytes);
    streamedValueASCII_ = streamedValueASCII_ && ascii;
}

void Parser::endStreamedValue() {
    const std::size_t start = *streamedValueStart_;
    streamedValueStart_.reset();
    if (streamedValueASCII_ || system::isValidUTF8(std::string_view(currentData_).substr(start))) {
        return;
    }
    const std::string repaired = system::repairUTF8(std::string_view(currentData_).substr(start));
    currentData_.resize(start);
    if (currentData_.size() + repaired.size() > maximumLineBytes_) {
        dropEvent();
        return;
    }
    currentData_.append(repaired);
}

void Parser::endBufferedLine() {
    if (lineTooLong_) {
        lineTooLong_ = false;
        dropEvent();
        return;
    }
    if (streamedValueStart_) {
        endStreamedValue();
        return;
    }
    processRawLine(lineBuffer_, lineBufferASCII_);
    // Keeps its capacity for the next line of similar length.
    lineBuffer_.clear();
    lineBufferASCII_ = true;
}

void Parser::processRawLine(std::string_view bytes, bool ascii) {
    if (!ascii && bytes.starts_with(byteOrderMark)) {
        bytes.remove_prefix(byteOrderMark.size());
    }
    if (ascii || system::isValidUTF8(bytes)) {
        processLine(bytes);
        return;
    }
    repairedLine_ = system::repairUTF8(bytes);
    processLine(repairedLine_);
}

void Parser::processLine(std::string_view line) {
    if (line.empty()) {
        dispatchEvent();
        seenDataField_ = false;
        return;
    }
    if (line.front() == ':') {
        return;
    }
    // The colon comes early in every line that matters; a library search
    // costs more than the few bytes before it.
    std::size_t colon = 0;
    while (colon < line.size() && line[colon] != ':') {
        ++colon;
    }
    if (colon == line.size()) {
        colon = std::string_view::npos;
    }
    if (colon == std::string_view::npos) {
        processField(line, {});
        return;
    }
    std::string_view value = line.substr(colon + 1);
    if (value.starts_with(' ')) {
        value.remove_prefix(1);
    }
    processField(line.substr(0, colon), value);
}

void Parser::processField(std::string_view name, std::string_view value) {
    if (name == "data") {
        appendData(value);
        seenDataField_ = true;
    } else if (name == "event") {
        currentEventType_.emplace(value);
    } else if (name == "id") {
        if (value.find('\0') == std::string_view::npos) {
            currentEventId_.emplace(value);
            lastEventId_.assign(value);
        }
    } else if (name == "retry") {
        if (const auto milliseconds = retryValue(value); milliseconds && *milliseconds >= 1) {
            reconnectionTime_ = *milliseconds;
            currentRetry_ = *milliseconds;
        }
    }
}

void Parser::appendData(std::string_view value) {
    if (eventTooLarge_) {
        return;
    }
    const std::size_t separator = currentData_.empty() ? 0 : 1;
    if (currentData_.size() + separator + value.size() > maximumLineBytes_) {
        dropEvent();
        return;
    }
    if (separator != 0) {
        currentData_.push_back('\n');
    }
    currentData_.append(value);
}

void Parser::dispatchEvent() {
    const bool pending = !currentData_.empty() || currentEventId_ || currentEventType_ || seenDataField_;
    if (pending && !eventTooLarge_) {
        // The data leaves with the event; room of its size waits for the
        // next one, which is likely alike, so that streaming a long value
        // does not grow a buffer from nothing every time.
        const std::size_t size = currentData_.size();
        eventQueue_.push_back(Event{std::move(currentEventId_), std::move(currentEventType_), std::move(currentData_),
                                    currentRetry_});
        currentData_ = std::string();
        currentData_.reserve(std::min(size, maximumReservedDataBytes));
    }
    eventTooLarge_ = false;
    currentEventType_.reset();
    currentEventId_.reset();
    currentData_.clear();
    currentRetry_.reset();
}

void Parser::dropEvent() {
    if (!eventTooLarge_) {
        ++oversizedDrops_;
    }
    eventTooLarge_ = true;
    currentData_.clear();
    currentData_.shrink_to_fit();
}

}  // namespace lumenary::eventsource
