#pragma once

// The console host's calls for the report over the logs on a share: see
// console::ConsoleHost.

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "console/console_host.h"
#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// The owners of files, each SID other than SYSTEM's and the
// Administrators' looked up once.
class FileOwners {
public:
    // The owner of the file open as `file`, read through that handle.
    console::FileOwner ownerOf(HANDLE file);

private:
    std::map<Text, console::FileOwner> known_;
};

void listLogs(const Text& folder, FileOwners& owners,
              const std::function<void(console::ListedLog&)>& entry);
std::string readFile(const Text& path);
void writeFile(const Text& path, std::string_view bytes);
std::string randomHex();

}  // namespace stravik::win32
