#include "platform/portable/windows1252.h"

#include <algorithm>
#include <array>

namespace stravik::portable {
namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the page is Latin-1.
constexpr std::array<char32_t, 32> highControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char unmappable = '?';

char byteFor(char32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<char>(character);
    }
    const auto found = std::find(highControlBlock.begin(), highControlBlock.end(), character);
    return found == highControlBlock.end()
               ? unmappable
               : static_cast<char>(0x80 + (found - highControlBlock.begin()));
}

}  // namespace

NarrowText toWindows1252(const Text& text) {
    NarrowText result;
    for (const wchar_t character : text) {
        result.push_back(byteFor(static_cast<char32_t>(character)));
    }
    return result;
}

Text fromWindows1252(const NarrowText& text) {
    Text result;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        const char32_t character =
            (value >= 0x80 && value <= 0x9F) ? highControlBlock[value - 0x80] : value;
        result.push_back(static_cast<wchar_t>(character));
    }
    return result;
}

}  // namespace stravik::portable
