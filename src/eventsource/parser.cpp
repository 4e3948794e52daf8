#include "eventsource/parser.hpp"

#include <cstring>
#include <limits>

#include "mcp/core/utf8.hpp"

namespace lumenary::eventsource {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Where the line ends: the first CR or LF, or npos.
std::size_t lineEnd(std::string_view bytes) {
    const auto* newline = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
    const std::size_t searched = newline != nullptr ? static_cast<std::size_t>(newline - bytes.data()) : bytes.size();
    const auto* carriageReturn = static_cast<const char*>(std::memchr(bytes.data(), '\r', searched));
    if (carriageReturn != nullptr) {
        return static_cast<std::size_t>(carriageReturn - bytes.data());
    }
    return newline != nullptr ? searched : std::string_view::npos;
}

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
        appendToLine(std::string_view(&character, 1));
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
        const std::size_t end = lineEnd(bytes);
        if (end == std::string_view::npos) {
            appendToLine(bytes);
            return;
        }
        if (lineBuffer_.empty() && !lineTooLong_ && end <= maximumLineBytes_) {
            // The whole line is in this piece: no copy into the buffer.
            processRawLine(bytes.substr(0, end));
        } else {
            appendToLine(bytes.substr(0, end));
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
    if (!lineBuffer_.empty() || lineTooLong_) {
        endBufferedLine();
    }
    if (!currentData_.empty() || currentEventId_ || currentEventType_) {
        processLine({});
    }
}

std::optional<Event> Parser::nextEvent() {
    if (eventQueue_.empty()) {
        return std::nullopt;
    }
    Event event = std::move(eventQueue_.front());
    eventQueue_.pop_front();
    return event;
}

void Parser::discardPartialEvent() {
    lineBuffer_.clear();
    lineTooLong_ = false;
    sawCR_ = false;
    currentEventId_.reset();
    currentEventType_.reset();
    currentData_.clear();
    currentRetry_.reset();
    seenDataField_ = false;
    eventTooLarge_ = false;
}

void Parser::appendToLine(std::string_view bytes) {
    if (lineTooLong_) {
        return;
    }
    if (lineBuffer_.size() + bytes.size() > maximumLineBytes_) {
        lineTooLong_ = true;
        lineBuffer_.clear();
        lineBuffer_.shrink_to_fit();
        return;
    }
    lineBuffer_.append(bytes);
}

void Parser::endBufferedLine() {
    if (lineTooLong_) {
        lineTooLong_ = false;
        dropEvent();
        return;
    }
    processRawLine(lineBuffer_);
    // Keeps its capacity for the next line of similar length.
    lineBuffer_.clear();
}

void Parser::processRawLine(std::string_view bytes) {
    if (bytes.starts_with(byteOrderMark)) {
        bytes.remove_prefix(byteOrderMark.size());
    }
    if (mcp::isValidUTF8(bytes)) {
        processLine(bytes);
        return;
    }
    repairedLine_.clear();
    mcp::appendRepairedUTF8(repairedLine_, bytes);
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
    const std::size_t colon = line.find(':');
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
        eventQueue_.push_back(Event{std::move(currentEventId_), std::move(currentEventType_), std::move(currentData_),
                                    currentRetry_});
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
