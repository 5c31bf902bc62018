#pragma once

// The platform of the portable build: a stand-in machine rooted at a folder
// (registry.reg, drive_<letter>/ folders) with a console for its window.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>

#include "platform/platform_services.h"
#include "platform/portable/console_window.h"
#include "platform/portable/registry_store.h"

namespace stravik::portable {

// Windows status codes the registry and directory calls return.
namespace status {
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t fileNotFound = 2;
inline constexpr std::int32_t accessDenied = 5;
inline constexpr std::int32_t invalidHandle = 6;
inline constexpr std::int32_t moreData = 234;
}  // namespace status

class PortablePlatform : public PlatformServices {
public:
    // `administrator` is what the shell's administrator test answers; the
    // program passes whether it runs as root.
    PortablePlatform(std::filesystem::path machineRoot, bool administrator, std::istream& input,
                     std::ostream& output);

    // The window's life: creates the form, delivers load, then the clicks
    // read from the console until the program is ended or the input ends
    // (the window is closed by its title bar). Returns the exit status.
    int run();

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
    // No program on the stand-in holds a file open against deletion.
    bool scheduleDeletionIfInUse(const Text&) override { return false; }
    void showMessage(const Text& text) override;
    void unloadWindow() override;
    void endProgram() override;

private:
    struct OpenKey {
        RegistryRoot root;
        Text subKey;
    };

    std::filesystem::path machineRoot_;
    bool administrator_;
    ConsoleWindow console_;
    std::map<RegistryHandle, OpenKey> openKeys_;
    RegistryHandle nextHandle_ = 1;
    bool windowShown_ = false;
    bool programEnded_ = false;
};

}  // namespace stravik::portable
