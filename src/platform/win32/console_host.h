#pragma once

// The console program's system on Windows.

#include <memory>

#include "console/console_host.h"

namespace stravik::win32 {

std::unique_ptr<console::ConsoleHost> makeConsoleHost();

}  // namespace stravik::win32
