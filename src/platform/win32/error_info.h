#pragma once

#include <cstdint>

#include "platform/classic_errors.h"
#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// The one place where a failed call becomes the ErrorInfo a user reads:
// the component's own text, else the classic text of the number, else the
// system's message. The error report supplies the last resort.
// `exception` is the call's EXCEPINFO; it is consulted (and its strings
// freed) only when `result` is DISP_E_EXCEPTION.
ErrorInfo errorInfoFromFailure(HRESULT result, EXCEPINFO* exception = nullptr);

// The ways a failed call is raised: an HRESULT (with the call's EXCEPINFO,
// where it has one), a Windows error, or the calling thread's last error.
[[noreturn]] void raiseFailure(HRESULT result, EXCEPINFO* exception = nullptr);
[[noreturn]] void raiseWindowsError(DWORD error);
[[noreturn]] void raiseLastError();

// The error number users know for `result`: the low word of a control
// error (facility 0x0A), the run-time number of a well-known system error,
// else the HRESULT itself.
std::int32_t errorNumberFor(HRESULT result);

// The system's message for `result` without its closing line break and
// period, or empty when the system has none.
Text systemMessageText(HRESULT result);

}  // namespace stravik::win32
