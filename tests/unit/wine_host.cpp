#include "wine_host.h"

#include <chrono>
#include <thread>

#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"

namespace stravik::win32::host {

namespace {

using UnixFileNameFunction = char*(CDECL*)(LPCWSTR);

UnixFileNameFunction unixFileNameFunction() {
    return loadedEntryPoint<UnixFileNameFunction>(L"kernel32.dll", "wine_get_unix_file_name");
}

std::string unixPath(const Text& windowsPath) {
    char* const path = unixFileNameFunction()(windowsPath.c_str());
    const std::string result = path == nullptr ? std::string() : std::string(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

bool eventually(const std::function<bool()>& condition) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

}  // namespace

bool underWine() { return unixFileNameFunction() != nullptr; }

std::string shellQuoted(const Text& windowsPath) { return "'" + unixPath(windowsPath) + "'"; }

bool runShell(const std::string& script, const std::function<bool()>& done) {
    std::wstring commandLine = L"/bin/sh -c \"";
    for (const char character : script) {
        commandLine += static_cast<wchar_t>(static_cast<unsigned char>(character));
    }
    commandLine += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    return eventually(done);
}

DWORD attributesOf(const Text& path) { return GetFileAttributesW(path.c_str()); }

bool exists(const Text& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool makeFile(const Text& path, DWORD attributes) {
    const UniqueFile file(CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, attributes, nullptr));
    return static_cast<bool>(file);
}

TemporaryFolder::TemporaryFolder(const Text& prefix) {
    static int made = 0;
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    const Text path = Text(temp, length) + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
                      std::to_wstring(++made);
    if (length > 0 && CreateDirectoryW(path.c_str(), nullptr)) {
        path_ = path;
    }
}

TemporaryFolder::~TemporaryFolder() {
    if (path_.empty()) {
        return;
    }
    if (underWine()) {
        runShell("rm -rf " + shellQuoted(path_), [&] { return !exists(path_); });
        return;
    }
    const Text from = path_ + L'\0';  // a list of paths, ended by an empty one
    SHFILEOPSTRUCTW removal{};
    removal.wFunc = FO_DELETE;
    removal.pFrom = from.c_str();
    removal.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&removal);
}

}  // namespace stravik::win32::host
