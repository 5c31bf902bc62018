#pragma once

// The Windows headers, as every file of the Windows platform includes them.

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <windows.h>

// windows.h maps DeleteFile to DeleteFileW; the file-system component's
// member of that name must keep it.
#undef DeleteFile
