#include "platform/portable/utf8.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace stravik::portable {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char32_t escapedByteBase = 0xDC00;

// The length of the well-formed sequence starting at `index`, and its
// character; 0 when the bytes there are not well-formed UTF-8: a byte no
// sequence starts with, a missing continuation byte, an overlong form, a
// surrogate or a value past U+10FFFF.
std::size_t decodeOne(std::string_view bytes, std::size_t index, char32_t& character) {
    const auto lead = static_cast<unsigned char>(bytes[index]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC0 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF8 ? 4
                                             : 0;
    if (length == 0 || index + length > bytes.size()) {
        return 0;
    }
    character = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t offset = 1; offset < length; ++offset) {
        const auto byte = static_cast<unsigned char>(bytes[index + offset]);
        if ((byte & 0xC0) != 0x80) {
            return 0;
        }
        character = (character << 6) | (byte & 0x3F);
    }
    constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < shortest[length] || character > 0x10FFFF || surrogate ? 0 : length;
}

void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out.push_back(static_cast<char>(character));
        return;
    }
    const int continuations = character < 0x800 ? 1 : character < 0x10000 ? 2 : 3;
    const unsigned leadMark = (0xFF00u >> (continuations + 1)) & 0xFF;
    out.push_back(static_cast<char>(leadMark | (character >> (6 * continuations))));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        out.push_back(static_cast<char>(0x80 | ((character >> shift) & 0x3F)));
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
    for (std::size_t index = 0; index < bytes.size();) {
        char32_t character = 0;
        const std::size_t length = decodeOne(bytes, index, character);
        if (length == 0) {
            character = escapedByteBase + static_cast<unsigned char>(bytes[index]);
        }
        text.push_back(static_cast<wchar_t>(character));
        index += std::max<std::size_t>(length, 1);
    }
    return text;
}

std::string encodeUtf8(const Text& text) {
    std::string bytes;
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
    for (const wchar_t character : text) {
        const bool ascii = character >= L'a' && character <= L'z';
        folded.push_back(locale != locale_t{} ? static_cast<wchar_t>(towupper_l(
                                                    static_cast<wint_t>(character), locale))
                                              : (ascii ? character - L'a' + L'A' : character));
    }
    return folded;
}

}  // namespace stravik::portable
