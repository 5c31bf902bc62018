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

// The numbers the program raises, or turns system failures into, by name.
namespace classic {
inline constexpr std::int32_t invalidCall = 5;
inline constexpr std::int32_t overflow = 6;
inline constexpr std::int32_t outOfMemory = 7;
inline constexpr std::int32_t subscriptOutOfRange = 9;
inline constexpr std::int32_t typeMismatch = 13;
inline constexpr std::int32_t dllLoadFailed = 48;
inline constexpr std::int32_t internalError = 51;
inline constexpr std::int32_t badFileName = 52;
inline constexpr std::int32_t fileNotFound = 53;
inline constexpr std::int32_t deviceError = 57;
inline constexpr std::int32_t fileExists = 58;
inline constexpr std::int32_t diskFull = 61;
inline constexpr std::int32_t pastEndOfFile = 62;
inline constexpr std::int32_t tooManyFiles = 67;
inline constexpr std::int32_t deviceUnavailable = 68;
inline constexpr std::int32_t permissionDenied = 70;
inline constexpr std::int32_t diskNotReady = 71;
inline constexpr std::int32_t differentDrive = 74;
inline constexpr std::int32_t pathFileAccessError = 75;
inline constexpr std::int32_t pathNotFound = 76;
inline constexpr std::int32_t objectNotSet = 91;
inline constexpr std::int32_t objectRequired = 424;
inline constexpr std::int32_t cannotCreateObject = 429;
inline constexpr std::int32_t noSuchMember = 438;
inline constexpr std::int32_t wrongArgumentCount = 450;
inline constexpr std::int32_t entryPointNotFound = 453;
}  // namespace classic

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
