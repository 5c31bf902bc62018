#pragma once

// UTF-8, the encoding of the stand-in machine's file names and console.
// Bytes that are not valid UTF-8 decode to the lone surrogates U+DC80 to
// U+DCFF and encode back to the same bytes, so any name found on disk
// survives the round trip through Text.

#include <string>
#include <string_view>

#include "platform/platform_services.h"

namespace stravik::portable {

Text decodeUtf8(std::string_view bytes);

// Characters that UTF-8 cannot carry (other lone surrogates, values past
// U+10FFFF) become U+FFFD.
std::string encodeUtf8(const Text& text);

// Text folded for case-insensitive comparison, as Windows compares names:
// every character mapped to its upper case.
Text foldCase(const Text& text);

}  // namespace stravik::portable
