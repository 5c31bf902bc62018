#pragma once

// The run-time errors a Windows user knows by number and text ("53 File not
// found", "70 Permission denied"), in one catalogue that the logic, the
// Windows platform and the stand-in machine all raise from. Portable: no
// <windows.h>.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/platform_services.h"

namespace stravik {

struct ClassicError {
    std::int32_t number;
    std::wstring_view text;
};

// Every entry, in ascending order of number.
std::span<const ClassicError> classicErrors();

// The classic text for `number`, or empty when there is none.
std::wstring_view classicErrorText(std::int32_t number);

// What a user reads for a number that has no text of its own anywhere.
inline constexpr std::wstring_view applicationDefinedErrorText =
    L"Application-defined or object-defined error";

// `number` with its classic text (or the application-defined text).
ErrorInfo classicError(std::int32_t number);

// Raises `number` with its classic text.
[[noreturn]] void raiseClassicError(std::int32_t number);

// The description to show for `error`: its own when it has one, else the
// classic text of its number, else the application-defined text. Never
// empty.
Text describedError(const ErrorInfo& error);

}  // namespace stravik
