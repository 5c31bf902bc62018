#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <vector>

#include "platform/win32/error_info.h"
#include "platform/win32/file_system_object.h"
#include "platform/win32/folder_pin.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"
#include "platform/win32/window_layout.h"

namespace stravik::win32 {

namespace {

constexpr int administratorTestOrdinal = 680;
using AdministratorTest = BOOL(WINAPI*)();

}  // namespace

HKEY rootKey(RegistryRoot root) {
    // Predefined handles are 32-bit values sign-extended to pointer width.
    const auto value = static_cast<LONG>(static_cast<std::uint32_t>(root));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

std::string encoded(const Text& text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    const int wideLength = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        raiseClassicError(classic::invalidCall);
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), wideLength, bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

NarrowText Win32Platform::narrow(const Text& text) { return encoded(text, CP_ACP); }

Text decoded(std::string_view bytes, UINT codePage) {
    if (bytes.empty()) {
        return Text();
    }
    const int narrowLength = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), narrowLength, nullptr, 0);
    if (length <= 0) {
        raiseClassicError(classic::invalidCall);
    }
    Text widened(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), narrowLength, widened.data(), length);
    return widened;
}

Text Win32Platform::widen(const NarrowText& text) { return decoded(text, CP_ACP); }

std::int32_t Win32Platform::RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                                        RegistryHandle& key) {
    HKEY opened = nullptr;
    const LONG result = ::RegOpenKeyA(rootKey(root), subKey.c_str(), &opened);
    if (result == ERROR_SUCCESS) {
        key = reinterpret_cast<RegistryHandle>(opened);
    }
    return result;
}

std::int32_t Win32Platform::RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                             [[maybe_unused]] std::uint32_t reserved,
                                             std::uint32_t& type, std::span<char> data,
                                             std::uint32_t& dataLength) {
    // Windows may scribble on the buffer when the data does not fit, so the
    // value is read into scratch space and copied over only on success.
    const DWORD capacity = std::min<DWORD>(dataLength, static_cast<DWORD>(data.size()));
    std::vector<BYTE> scratch(std::max<DWORD>(capacity, 1));
    DWORD length = capacity;
    DWORD receivedType = 0;
    const LONG result = ::RegQueryValueExA(reinterpret_cast<HKEY>(key), valueName.c_str(), nullptr,
                                           &receivedType, scratch.data(), &length);
    if (result == ERROR_SUCCESS && length <= capacity) {
        std::copy_n(scratch.begin(), length, reinterpret_cast<BYTE*>(data.data()));
        type = receivedType;
    }
    dataLength = length;
    return result;
}

std::int32_t Win32Platform::RegCloseKey(RegistryHandle key) {
    if (key == 0) {
        return ERROR_INVALID_HANDLE;
    }
    return ::RegCloseKey(reinterpret_cast<HKEY>(key));
}

std::int32_t Win32Platform::SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) {
    return static_cast<std::int32_t>(::SHDeleteKeyA(rootKey(root), subKey.c_str()));
}

std::int32_t Win32Platform::SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                           const NarrowText& valueName) {
    return static_cast<std::int32_t>(
        ::SHDeleteValueA(rootKey(root), subKey.c_str(), valueName.c_str()));
}

std::uint32_t Win32Platform::GetWindowsDirectoryA(std::span<char> buffer) {
    // A path that does not fit must leave the caller's buffer as it was.
    std::vector<char> scratch(std::max<std::size_t>(buffer.size(), 1));
    const UINT capacity = static_cast<UINT>(buffer.size());
    const UINT length = ::GetWindowsDirectoryA(scratch.data(), capacity);
    if (length > 0 && length < capacity) {
        std::copy_n(scratch.begin(), length + 1, buffer.begin());
    }
    return length;
}

std::int32_t Win32Platform::isAdministrator() {
    const UniqueModule shell(loadSystemLibrary(L"shell32.dll"));
    if (!shell) {
        raiseClassicError(classic::dllLoadFailed);
    }
    const FARPROC entry = GetProcAddress(shell.get(), MAKEINTRESOURCEA(administratorTestOrdinal));
    if (entry == nullptr) {
        throw RaisedError(classic::entryPointNotFound,
                          L"Can't find DLL entry point #680 in shell32");
    }
    return entryPointAs<AdministratorTest>(entry)();
}

std::unique_ptr<FileSystemComponent> Win32Platform::createObject(const Text& programmaticId) {
    return createFileSystemComponent(programmaticId);
}

std::unique_ptr<PinnedFolderPath> Win32Platform::pinFolderPath(const Text& folderPath) {
    return holdFolderPath(folderPath);
}

std::unique_ptr<PinnedFolderPath> Win32Platform::pinFolderPathAsBackup(const Text& folderPath) {
    return holdFolderPathAsBackup(folderPath);
}

bool Win32Platform::scheduleDeletionIfInUse(const Text& filePath) {
    // Asked after the component could not delete the file. Another program
    // holding it open without delete sharing makes an open for deletion
    // fail with a sharing violation. A program that has loaded it as code
    // (Word or a browser loading the control) leaves it open to us, but the
    // system will not delete a file mapped as an image: then the open
    // succeeds and only the deletion was refused. An open refused for any
    // other reason (access denied, not found) is no file in use.
    {
        const UniqueFile probe(CreateFileW(
            filePath.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!probe && GetLastError() != ERROR_SHARING_VIOLATION) {
            return false;
        }
    }
    // Recorded for the session manager, which deletes it at the next start
    // before any program can load it.
    if (!MoveFileExW(filePath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        raiseLastError();
    }
    return true;
}

void Win32Platform::showMessage(const Text& text) {
    MessageBoxW(window_, text.c_str(), messageCaption, MB_OK);
}

void Win32Platform::unloadWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
}

void Win32Platform::endProgram() {
    programEnded_ = true;
    PostQuitMessage(0);
}

}  // namespace stravik::win32
