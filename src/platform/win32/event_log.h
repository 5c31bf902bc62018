#pragma once

// The run's event in the Application log: see console::ConsoleHost.

#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// One event in the Application log, source "Stravik", with the process's
// user.
void reportEvent(WORD type, DWORD id, const Text& text);

// Registers the source "Stravik" with the message file that Windows ships
// for events whose message is their own text, unless it is registered so
// already. Needs an administrator; quietly does nothing otherwise.
void registerEventSource();

}  // namespace stravik::win32
