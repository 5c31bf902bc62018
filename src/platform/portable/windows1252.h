#pragma once

// The stand-in machine's narrow code page, Windows-1252, converted the way
// Windows converts it without best-fit mapping. Both directions keep every
// character, embedded NULs included, and never rely on a terminator.

#include "platform/platform_services.h"

namespace stravik::portable {

// Characters with no Windows-1252 byte become '?'.
NarrowText toWindows1252(const Text& text);

// Every byte maps to one character; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters
// of the same number, as Windows maps them.
Text fromWindows1252(const NarrowText& text);

}  // namespace stravik::portable
