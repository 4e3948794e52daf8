#include "platform/text/text_encoding.hpp"

#include <iconv.h>

#include <array>
#include <cerrno>

#include "platform/text/plain_text.hpp"

namespace lumenary::platform {

namespace {

std::string converterName(std::string_view charset) {
    const auto label = asciiLowercased(charset);
    for (const auto* windows1252 : {"iso-8859-1", "iso8859-1", "latin1", "l1", "us-ascii", "ascii", "cp819",
                                    "iso_8859-1", "iso-ir-100", "windows-1252", "cp1252"}) {
        if (label == windows1252) {
            return "WINDOWS-1252";
        }
    }
    return label;
}

// One converter, closed on every path.
class EncodingToUtf8Converter {
public:
    explicit EncodingToUtf8Converter(const std::string& from) : descriptor_(::iconv_open("UTF-8", from.c_str())) {}
    ~EncodingToUtf8Converter() {
        if (valid()) {
            ::iconv_close(descriptor_);
        }
    }
    EncodingToUtf8Converter(const EncodingToUtf8Converter&) = delete;
    EncodingToUtf8Converter& operator=(const EncodingToUtf8Converter&) = delete;

    bool valid() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return descriptor_; }

private:
    iconv_t descriptor_;
};

}  // namespace

std::optional<std::string> utf8FromCharset(std::string_view bytes, std::string_view charset) {
    // A name with a "/" would ask iconv for its transliteration options.
    if (charset.empty() || charset.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    EncodingToUtf8Converter converter(converterName(charset));
    if (!converter.valid()) {
        return std::nullopt;
    }
    std::string converted;
    std::array<char, 16 * 1024> buffer;
    auto* input = const_cast<char*>(bytes.data());
    std::size_t inputLeft = bytes.size();
    while (true) {
        auto* output = buffer.data();
        std::size_t outputLeft = buffer.size();
        const auto result = ::iconv(converter.get(), inputLeft > 0 ? &input : nullptr, &inputLeft, &output,
                                    &outputLeft);
        converted.append(buffer.data(), buffer.size() - outputLeft);
        if (result != static_cast<std::size_t>(-1)) {
            if (inputLeft == 0) {
                // Flush whatever state a shifting set left.
                output = buffer.data();
                outputLeft = buffer.size();
                ::iconv(converter.get(), nullptr, nullptr, &output, &outputLeft);
                converted.append(buffer.data(), buffer.size() - outputLeft);
                return converted;
            }
            continue;
        }
        if (errno != E2BIG) {
            return std::nullopt;
        }
    }
}

}  // namespace lumenary::platform
