#pragma once

#include <string_view>

#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// The platform operations on Windows itself. The window layer tells it
// which window owns message boxes and is unloaded on request.
class Win32Platform : public PlatformServices {
public:
    NarrowText narrow(const Text& text) override;
    Text widen(const NarrowText& text) override;

    std::int32_t RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                             RegistryHandle& key) override;
    std::int32_t RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                  std::uint32_t reserved, std::uint32_t& type, std::span<char> data,
                                  std::uint32_t& dataLength) override;
    std::int32_t RegCloseKey(RegistryHandle key) override;
    std::int32_t SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) override;
    std::int32_t SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                const NarrowText& valueName) override;

    std::uint32_t GetWindowsDirectoryA(std::span<char> buffer) override;

    std::int32_t isAdministrator() override;

    std::unique_ptr<FileSystemComponent> createObject(const Text& programmaticId) override;
    std::unique_ptr<PinnedFolderPath> pinFolderPath(const Text& folderPath) override;
    std::unique_ptr<PinnedFolderPath> pinFolderPathAsBackup(const Text& folderPath) override;
    bool scheduleDeletionIfInUse(const Text& filePath) override;

    void showMessage(const Text& text) override;

    void unloadWindow() override;
    void endProgram() override;

    // Window layer.
    void attachWindow(HWND window) { window_ = window; }
    void detachWindow() { window_ = nullptr; }
    bool programEnded() const { return programEnded_; }

private:
    HWND window_ = nullptr;
    bool programEnded_ = false;
};

// `text` in the code page `codePage`, every character kept (embedded
// terminators too); raises 5 when it cannot be converted.
std::string encoded(const Text& text, UINT codePage);
Text decoded(std::string_view bytes, UINT codePage);

// The predefined key handle a registry root stands for.
HKEY rootKey(RegistryRoot root);

}  // namespace stravik::win32
