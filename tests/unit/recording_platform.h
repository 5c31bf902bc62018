#pragma once

// A PlatformServices that answers from a script and records every call, in
// order, as one readable line, so tests can pin exact calls and arguments.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform_services.h"

namespace stravik::testing {

// UTF-8 rendering of a text, for readable call lines and test messages.
std::string utf8(const Text& text);

class RecordingPlatform : public PlatformServices {
public:
    // --- The script ---
    // Default values under HKEY_CLASSES_ROOT, by key path: the raw bytes the
    // value holds (text values with their terminator).
    std::map<std::string, std::string> classesRootDefaultValues;
    // What GetWindowsDirectoryA reports; none means the call fails.
    std::optional<std::string> windowsDirectory;
    std::int32_t administrator = 1;
    bool componentAvailable = true;
    // Folders by path, with the full paths of the files directly in them.
    std::map<Text, std::vector<Text>> folders;
    // The folders directly in a folder, by its path.
    std::map<Text, std::vector<FolderEntry>> subfolders;
    std::set<Text> existingFiles;
    std::set<Text> filesInUse;
    // What SHDeleteKeyA and SHDeleteValueA answer: "not found" unless set.
    std::int32_t registryDeleteStatus = 2;
    // A call whose recorded line equals a key raises that error instead.
    std::map<std::string, ErrorInfo> raiseOn;

    // --- What happened ---
    std::vector<std::string> calls;
    std::vector<Text> messages;
    int componentsAlive = 0;

    // A typical PC: the drive H: recorded under the control's class key,
    // the Windows directory C:\WINDOWS holding the control and both
    // templates, and H:\Halvoran\template\ holding `templateNames`.
    void seedTypicalPc(const std::vector<Text>& templateNames);

    // Only the calls whose line starts with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;

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
    // Records "pinFolderPath(path)" and raises 76 for a folder not in
    // `folders`, as GetFolder does; the pin records "pinned files(folder)",
    // "pinned folders(folder)", "deleteFile(path)"
    // for each file, "confirmUnchanged(folder)" after the last and
    // "unpin(folder)" when it is released.
    std::unique_ptr<PinnedFolderPath> pinFolderPath(const Text& folderPath) override;
    // Records "scheduleDeletionIfInUse(path)"; true for a file in `filesInUse`.
    bool scheduleDeletionIfInUse(const Text& filePath) override;
    void showMessage(const Text& text) override;
    void unloadWindow() override;
    void endProgram() override;

    // Records a call line and raises when the script says so.
    void record(const std::string& line);

private:
    std::map<RegistryHandle, std::string> openKeys_;
    RegistryHandle nextHandle_ = 0x100;
};

}  // namespace stravik::testing
