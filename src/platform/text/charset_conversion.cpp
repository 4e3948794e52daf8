#include "platform/text/charset_conversion.hpp"

#include <iconv.h>

#include <cerrno>

namespace lumenary::platform {

namespace {

class CharsetToUtf8Converter {
public:
    explicit CharsetToUtf8Converter(const std::string& charset) : handle_(::iconv_open("UTF-8", charset.c_str())) {}
    ~CharsetToUtf8Converter() {
        if (isOpen()) {
            ::iconv_close(handle_);
        }
    }
    CharsetToUtf8Converter(const CharsetToUtf8Converter&) = delete;
    CharsetToUtf8Converter& operator=(const CharsetToUtf8Converter&) = delete;

    bool isOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace

std::optional<std::string> convertedToUTF8(std::string_view bytes, const std::string& charset) {
    CharsetToUtf8Converter converter(charset);
    if (!converter.isOpen()) {
        return std::nullopt;
    }
    // Four bytes of UTF-8 per input byte is the most any set needs; the loop
    // grows the buffer anyway should one need more.
    std::string output(bytes.size() * 4 + 16, '\0');
    char* input = const_cast<char*>(bytes.data());
    std::size_t inputLeft = bytes.size();
    std::size_t written = 0;
    while (true) {
        char* out = output.data() + written;
        std::size_t outputLeft = output.size() - written;
        const std::size_t result = ::iconv(converter.handle(), &input, &inputLeft, &out, &outputLeft);
        written = output.size() - outputLeft;
        if (result != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno != E2BIG) {
            return std::nullopt;
        }
        output.resize(output.size() * 2);
    }
    // Ends a stateful encoding's last shift sequence.
    char* out = output.data() + written;
    std::size_t outputLeft = output.size() - written;
    if (::iconv(converter.handle(), nullptr, nullptr, &out, &outputLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    output.resize(output.size() - outputLeft);
    return output;
}

}  // namespace lumenary::platform
