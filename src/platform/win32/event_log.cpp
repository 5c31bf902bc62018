#include "platform/win32/event_log.h"

#include <algorithm>
#include <vector>

#include "platform/win32/handles.h"

namespace stravik::win32 {
namespace {

constexpr wchar_t sourceName[] = L"Stravik";
constexpr wchar_t sourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Stravik";
// EventCreate.exe holds one message, "%1", for each ID from 1 to 1000: an
// event's text is its whole message. The path is expanded by whoever
// reads the event, on its own side of WOW64.
constexpr wchar_t messageFile[] = L"%SystemRoot%\\System32\\EventCreate.exe";
constexpr DWORD typesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// The process token's TOKEN_USER, or nothing when it cannot be read.
std::vector<unsigned char> processUser() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    const UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        return {};
    }
    return user;
}

bool holdsValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    std::vector<unsigned char> held(size);
    DWORD heldType = 0;
    DWORD heldSize = size;
    return RegQueryValueExW(key, name, nullptr, &heldType, held.data(), &heldSize) ==
               ERROR_SUCCESS &&
           heldType == type && heldSize == size &&
           std::equal(held.begin(), held.end(), static_cast<const unsigned char*>(data));
}

void setValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    if (!holdsValue(key, name, type, data, size)) {
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
}

}  // namespace

void reportEvent(WORD type, DWORD id, const Text& text) {
    // Before the source is registered (a standard user's run on a PC where
    // no administrator has removed yet) the event still goes to the
    // Application log with its text, which viewers then show after a note
    // that the description is missing.
    const UniqueEventSource source(RegisterEventSourceW(nullptr, sourceName));
    if (!source) {
        return;
    }
    const std::vector<unsigned char> user = processUser();
    PSID sid = user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source.get(), type, 0, id, sid, 1, 0, strings, nullptr);
}

void registerEventSource() {
    HKEY rawKey = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, sourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &rawKey,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueKey key(rawKey);
    setValue(key.get(), L"EventMessageFile", REG_EXPAND_SZ, messageFile, sizeof messageFile);
    setValue(key.get(), L"TypesSupported", REG_DWORD, &typesSupported, sizeof typesSupported);
}

}  // namespace stravik::win32
