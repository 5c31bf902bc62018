#pragma once

// Where the program's libraries come from, and how it calls what newer
// systems add: the system directory only, and entry points looked up at
// run time.

#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// Makes every later library load search the system directory only, where
// the system offers that; elsewhere the default search stays.
void restrictLibrarySearchToSystemDirectory();

// Loads a library from the system directory only, never from the
// application's folder or the current directory. Null when it cannot.
HMODULE loadSystemLibrary(const wchar_t* fileName);

// An entry point as the function type it really has: FARPROC's differs, so
// the cast goes through a generic function pointer.
template <typename Function>
Function entryPointAs(FARPROC entry) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}

// An entry point of a library the process has already loaded, or null
// where the system lacks it: how the program calls what newer systems add
// and still starts on older ones.
template <typename Function>
Function loadedEntryPoint(const wchar_t* library, const char* name) {
    const HMODULE module = GetModuleHandleW(library);
    return entryPointAs<Function>(module == nullptr ? nullptr : GetProcAddress(module, name));
}

}  // namespace stravik::win32
