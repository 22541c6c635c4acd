#include "editing/TextCodec.h"

#include "common/Utf8Text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace halvix {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kReplacementGb18030 = "\x84\x31\xA4\x37";
constexpr std::string_view kEuroUtf8 = "\xE2\x82\xAC";

// Valid UTF-8 as it is; every byte outside a well-formed sequence becomes U+FFFD.
std::string repairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            out += kReplacementUtf8;
            text.remove_prefix(1);
        } else {
            out += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return out;
}

#ifdef _WIN32

constexpr UINT kGb18030CodePage = 54936;

// Windows already turns what it cannot convert into U+FFFD (or the code page's default character).
std::string convert(std::string_view bytes, UINT from, UINT to) {
    if (bytes.empty())
        return {};
    const int inLength = static_cast<int>(bytes.size());
    const int wideLength = MultiByteToWideChar(from, 0, bytes.data(), inLength, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, 0, bytes.data(), inLength, wide.data(), wideLength);
    const int outLength = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(outLength), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, out.data(), outLength, nullptr, nullptr);
    return out;
}

std::string decodeGb18030(std::string_view bytes) {
    // 0x80 is the euro sign in code page 936 but not in GB18030.
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || static_cast<std::uint8_t>(bytes[i]) == 0x80) {
            out += convert(bytes.substr(start, i - start), kGb18030CodePage, CP_UTF8);
            if (i < bytes.size())
                out += kEuroUtf8;
            start = i + 1;
        }
    }
    return out;
}

std::string encodeGb18030(std::string_view text) {
    return convert(repairUtf8(text), CP_UTF8, kGb18030CodePage);
}

#else

// Converts with iconv; `onInvalid` gives the replacement for the byte that cannot be converted.
template <typename Replacement>
std::string convert(std::string_view bytes, const char* to, const char* from, Replacement onInvalid) {
    std::string out;
    if (bytes.empty())
        return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return repairUtf8(bytes); // no converter: keep what is readable rather than lose the text
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t written = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {
            // EILSEQ or EINVAL (a sequence cut off at the end): replace one byte, go on.
            const std::string_view replacement = onInvalid(static_cast<std::uint8_t>(*in));
            if (out.size() - written < replacement.size())
                out.resize(out.size() * 2 + replacement.size());
            std::copy(replacement.begin(), replacement.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(written));
            written += replacement.size();
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    out.resize(written);
    return out;
}

std::string decodeGb18030(std::string_view bytes) {
    return convert(bytes, "UTF-8", "GB18030",
                   [](std::uint8_t byte) { return byte == 0x80 ? kEuroUtf8 : kReplacementUtf8; });
}

std::string encodeGb18030(std::string_view text) {
    return convert(text, "GB18030", "UTF-8", [](std::uint8_t) { return kReplacementGb18030; });
}

#endif

// Whether GB18030 bytes are code page 936's alone: no four-byte sequence, whose second byte is a digit.
bool withinCodePage936(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<std::uint8_t>(bytes[at]);
        if (byte < 0x80) {
            ++at;
            continue;
        }
        if (at + 1 >= bytes.size() || (bytes[at + 1] >= '0' && bytes[at + 1] <= '9'))
            return false;
        at += 2;
    }
    return true;
}

} // namespace

bool hasUtf8Bom(std::string_view bytes) {
    return bytes.starts_with(kUtf8Bom);
}

std::string gb18030ToUtf8(std::string_view bytes) {
    return decodeGb18030(bytes);
}

std::string utf8ToGb18030(std::string_view text) {
    return encodeGb18030(text);
}

std::string spreadsheetText(std::string_view text) {
    std::string bytes = utf8ToGb18030(text);
    if (withinCodePage936(bytes))
        return bytes;
    return std::string(kUtf8Bom) + repairUtf8(text);
}

std::string decodeFileText(std::string_view bytes) {
    if (hasUtf8Bom(bytes))
        return repairUtf8(bytes.substr(kUtf8Bom.size()));
    if (isValidUtf8(bytes))
        return std::string(bytes);
    return gb18030ToUtf8(bytes);
}

} // namespace halvix
