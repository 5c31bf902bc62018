#include "platform/portable/utf8.h"

#include <locale.h>
#include <wctype.h>

namespace stravik::portable {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char32_t escapedByteBase = 0xDC00;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence starting at `index`, and its
// character; 0 when the bytes there are not well-formed UTF-8.
std::size_t decodeOne(std::string_view bytes, std::size_t index, char32_t& character) {
    const auto lead = static_cast<unsigned char>(bytes[index]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        character = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        character = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        character = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        character = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (index + length > bytes.size()) {
        return 0;
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        const auto byte = static_cast<unsigned char>(bytes[index + offset]);
        if (!isContinuation(byte)) {
            return 0;
        }
        character = (character << 6) | (byte & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    if (character < minimum || character > 0x10FFFF || surrogate) {
        return 0;
    }
    return length;
}

void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out.push_back(static_cast<char>(character));
    } else if (character < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (character >> 6)));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else if (character < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (character >> 12)));
        out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (character >> 18)));
        out.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    }
}

// The case mapping of the C.UTF-8 locale covers all of Unicode, unlike
// the plain "C" locale; it is made once and never freed.
locale_t unicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

}  // namespace

Text decodeUtf8(std::string_view bytes) {
    Text text;
    text.reserve(bytes.size());
    for (std::size_t index = 0; index < bytes.size();) {
        char32_t character = 0;
        const std::size_t length = decodeOne(bytes, index, character);
        if (length == 0) {
            character = escapedByteBase + static_cast<unsigned char>(bytes[index]);
            ++index;
        } else {
            index += length;
        }
        text.push_back(static_cast<wchar_t>(character));
    }
    return text;
}

std::size_t validUtf8Length(std::string_view bytes) {
    std::size_t index = 0;
    char32_t character = 0;
    while (index < bytes.size()) {
        const std::size_t length = decodeOne(bytes, index, character);
        if (length == 0) {
            break;
        }
        index += length;
    }
    return index;
}

std::string encodeUtf8(const Text& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t unit : text) {
        const auto character = static_cast<char32_t>(unit);
        if (character >= escapedByteBase + 0x80 && character <= escapedByteBase + 0xFF) {
            bytes.push_back(static_cast<char>(character - escapedByteBase));
        } else if ((character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) {
            appendUtf8(bytes, replacementCharacter);
        } else {
            appendUtf8(bytes, character);
        }
    }
    return bytes;
}

Text foldCase(const Text& text) {
    const locale_t locale = unicodeLocale();
    Text folded;
    folded.reserve(text.size());
    for (const wchar_t character : text) {
        if (locale != locale_t{}) {
            folded.push_back(
                static_cast<wchar_t>(towupper_l(static_cast<wint_t>(character), locale)));
        } else {
            folded.push_back(character >= L'a' && character <= L'z' ? character - L'a' + L'A'
                                                                    : character);
        }
    }
    return folded;
}

}  // namespace stravik::portable
