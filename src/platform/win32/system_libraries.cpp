#include "platform/win32/system_libraries.h"

#include "platform/platform_services.h"

namespace stravik::win32 {

namespace {

// Newer systems (and older ones with the loader update) can restrict a
// load to the system directory; the flag exists exactly when
// SetDefaultDllDirectories does.
constexpr DWORD loadFromSystemDirectoryOnly = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Null on systems without it (XP, and Vista and 7 without the update).
SetDefaultDllDirectoriesFunction setDefaultDllDirectories() {
    return loadedEntryPoint<SetDefaultDllDirectoriesFunction>(L"kernel32.dll",
                                                              "SetDefaultDllDirectories");
}

}  // namespace

void restrictLibrarySearchToSystemDirectory() {
    if (const auto setDirectories = setDefaultDllDirectories()) {
        setDirectories(loadFromSystemDirectoryOnly);
    }
}

HMODULE loadSystemLibrary(const wchar_t* fileName) {
    if (setDefaultDllDirectories() != nullptr) {
        return LoadLibraryExW(fileName, nullptr, loadFromSystemDirectoryOnly);
    }
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const Text fullPath = Text(directory, length) + L"\\" + fileName;
    return LoadLibraryW(fullPath.c_str());
}

}  // namespace stravik::win32
