#include "platform/win32/error_info.h"

#include <winerror.h>

#include <string_view>
#include <utility>

#include "platform/classic_errors.h"
#include "platform/win32/handles.h"

namespace stravik::win32 {

namespace {

// System failures that have a run-time error of the same meaning. A user
// understands "Path not found" better than a negative HRESULT.
constexpr std::pair<HRESULT, std::int32_t> wellKnownFailures[] = {
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), classic::fileNotFound},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), classic::pathNotFound},
    {HRESULT_FROM_WIN32(ERROR_BAD_NETPATH), classic::pathNotFound},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), classic::permissionDenied},
    {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), classic::permissionDenied},
    {HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION), classic::permissionDenied},
    {HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT), classic::permissionDenied},
    {HRESULT_FROM_WIN32(ERROR_NOT_READY), classic::diskNotReady},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE), classic::deviceUnavailable},
    {HRESULT_FROM_WIN32(ERROR_DEV_NOT_EXIST), classic::deviceUnavailable},
    {HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES), classic::tooManyFiles},
    {HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE), classic::differentDrive},
    {HRESULT_FROM_WIN32(ERROR_BAD_NET_NAME), classic::pathNotFound},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), classic::fileExists},
    {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), classic::fileExists},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), classic::diskFull},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), classic::diskFull},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), classic::badFileName},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), classic::pastEndOfFile},
    {HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), classic::deviceError},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), classic::outOfMemory},
    {HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), classic::outOfMemory},
    {E_OUTOFMEMORY, classic::outOfMemory},
    {E_INVALIDARG, classic::invalidCall},
    {DISP_E_TYPEMISMATCH, classic::typeMismatch},
    {DISP_E_OVERFLOW, classic::overflow},
    {DISP_E_BADINDEX, classic::subscriptOutOfRange},
    {DISP_E_MEMBERNOTFOUND, classic::noSuchMember},
    {DISP_E_UNKNOWNNAME, classic::noSuchMember},
    {DISP_E_BADPARAMCOUNT, classic::wrongArgumentCount},
};

// Drops a closing line break and period: the error report adds its own.
Text withoutClosingPunctuation(Text text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    if (!text.empty() && text.back() == L'.') {
        text.pop_back();
    }
    return text;
}

Text textOf(const UniqueBstr& string) {
    return string.get() == nullptr ? Text() : Text(string.get(), SysStringLen(string.get()));
}

}  // namespace

std::int32_t errorNumberFor(HRESULT result) {
    if (FAILED(result) && HRESULT_FACILITY(result) == FACILITY_CONTROL) {
        return HRESULT_CODE(result);
    }
    for (const auto& [failure, number] : wellKnownFailures) {
        if (failure == result) {
            return number;
        }
    }
    return static_cast<std::int32_t>(result);
}

Text systemMessageText(HRESULT result) {
    UniqueLocalText message;
    // With ALLOCATE_BUFFER the buffer argument is where the text's address goes.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(message.put()), 0,
        nullptr);
    if (length == 0 || !message) {
        return Text();
    }
    return withoutClosingPunctuation(Text(message.get(), length));
}

ErrorInfo errorInfoFromFailure(HRESULT result, EXCEPINFO* exception) {
    HRESULT failure = result;
    ErrorInfo info;
    if (result == DISP_E_EXCEPTION && exception != nullptr) {
        if (exception->pfnDeferredFillIn != nullptr) {
            exception->pfnDeferredFillIn(exception);
            exception->pfnDeferredFillIn = nullptr;
        }
        const UniqueBstr source(std::exchange(exception->bstrSource, nullptr));
        const UniqueBstr description(std::exchange(exception->bstrDescription, nullptr));
        const UniqueBstr helpFile(std::exchange(exception->bstrHelpFile, nullptr));
        info.description = withoutClosingPunctuation(textOf(description));
        if (exception->scode != S_OK) {
            failure = exception->scode;
            info.number = errorNumberFor(failure);
        } else {
            info.number = exception->wCode;
        }
    } else {
        info.number = errorNumberFor(result);
    }
    if (info.description.empty()) {
        info.description = Text(classicErrorText(info.number));
    }
    if (info.description.empty()) {
        info.description = systemMessageText(failure);
    }
    return info;
}

void raiseFailure(HRESULT result, EXCEPINFO* exception) {
    throw RaisedError(errorInfoFromFailure(result, exception));
}

void raiseWindowsError(DWORD error) { raiseFailure(HRESULT_FROM_WIN32(error)); }

void raiseLastError() { raiseWindowsError(GetLastError()); }

}  // namespace stravik::win32
