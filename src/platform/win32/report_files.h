#pragma once

// The console host's calls for the report over the logs on a share: see
// console::ConsoleHost.

#include <functional>
#include <string>
#include <string_view>

#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

void listFiles(const Text& folder, const std::function<void(const Text&)>& file);
void readPieces(const Text& path, const std::function<void(std::string_view)>& piece);
std::string readFile(const Text& path);
void writeFile(const Text& path, std::string_view bytes);
std::string randomHex();

}  // namespace stravik::win32
