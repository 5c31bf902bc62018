#include "platform/win32/error_info.h"

#include <winerror.h>

#include <array>
#include <string_view>
#include <utility>

#include "platform/win32/handles.h"

namespace stravik::win32 {

namespace {

constexpr std::array<std::pair<std::int32_t, std::wstring_view>, 22> classicErrorTexts = {{
    {5, L"Invalid procedure call or argument"},
    {6, L"Overflow"},
    {7, L"Out of memory"},
    {9, L"Subscript out of range"},
    {13, L"Type mismatch"},
    {48, L"Error in loading DLL"},
    {52, L"Bad file name or number"},
    {53, L"File not found"},
    {57, L"Device I/O error"},
    {58, L"File already exists"},
    {61, L"Disk full"},
    {62, L"Input past end of file"},
    {70, L"Permission denied"},
    {71, L"Disk not ready"},
    {75, L"Path/File access error"},
    {76, L"Path not found"},
    {91, L"Object variable or With block variable not set"},
    {424, L"Object required"},
    {429, L"ActiveX component can't create object"},
    {438, L"Object doesn't support this property or method"},
    {450, L"Wrong number of arguments or invalid property assignment"},
    {453, L"Specified DLL function not found"},
}};

// System failures that have a run-time error of the same meaning. A user
// understands "Path not found" better than a negative HRESULT.
constexpr std::array<std::pair<HRESULT, std::int32_t>, 25> wellKnownFailures = {{
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 53},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), 76},
    {HRESULT_FROM_WIN32(ERROR_BAD_NETPATH), 76},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 70},
    {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), 70},
    {HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION), 70},
    {HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT), 70},
    {HRESULT_FROM_WIN32(ERROR_NOT_READY), 71},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), 58},
    {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), 58},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), 61},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), 61},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), 52},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), 62},
    {HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), 57},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), 7},
    {HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), 7},
    {E_OUTOFMEMORY, 7},
    {E_INVALIDARG, 5},
    {DISP_E_TYPEMISMATCH, 13},
    {DISP_E_OVERFLOW, 6},
    {DISP_E_BADINDEX, 9},
    {DISP_E_MEMBERNOTFOUND, 438},
    {DISP_E_UNKNOWNNAME, 438},
    {DISP_E_BADPARAMCOUNT, 450},
}};

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

Text classicErrorText(std::int32_t number) {
    for (const auto& [classicNumber, text] : classicErrorTexts) {
        if (classicNumber == number) {
            return Text(text);
        }
    }
    return Text();
}

Text systemMessageText(HRESULT result) {
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) {
        return Text();
    }
    Text text(message, length);
    LocalFree(message);
    return withoutClosingPunctuation(std::move(text));
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
        info.description = classicErrorText(info.number);
    }
    if (info.description.empty()) {
        info.description = systemMessageText(failure);
    }
    return info;
}

void raiseClassicError(std::int32_t number) { throw RaisedError(number, classicErrorText(number)); }

}  // namespace stravik::win32
