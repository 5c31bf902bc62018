#include "recording_platform.h"

#include <algorithm>
#include <cstring>

#include "platform/classic_errors.h"

namespace stravik::testing {

std::string utf8(const Text& text) {
    std::string out;
    for (const wchar_t wide : text) {
        const auto c = static_cast<std::uint32_t>(wide);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

std::string rootName(RegistryRoot root) {
    return root == RegistryRoot::classesRoot ? "HKCR" : "HKLM";
}

// Narrow text shown with its NULs visible.
std::string shown(const NarrowText& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\0' ? std::string("\\0") : std::string(1, c);
    }
    return out;
}

class RecordingFileSystem : public FileSystemComponent {
public:
    explicit RecordingFileSystem(RecordingPlatform& platform) : platform_(platform) {
        ++platform_.componentsAlive;
    }
    ~RecordingFileSystem() override { --platform_.componentsAlive; }

    void GetFolder(const Text& folderPath) override {
        platform_.record("GetFolder(" + utf8(folderPath) + ")");
        if (!platform_.folders.contains(folderPath)) {
            raiseClassicError(classic::pathNotFound);
        }
    }
    void DeleteFile(const Text& filePath, bool force) override {
        platform_.record("DeleteFile(" + utf8(filePath) + (force ? ", force)" : ")"));
        platform_.existingFiles.erase(filePath);
    }
    bool FileExists(const Text& filePath) override {
        platform_.record("FileExists(" + utf8(filePath) + ")");
        return platform_.existingFiles.contains(filePath);
    }

private:
    RecordingPlatform& platform_;
};

class RecordingPin : public PinnedFolderPath {
public:
    RecordingPin(RecordingPlatform& platform, Text path)
        : platform_(platform), path_(std::move(path)) {}
    // Recorded without the script: a release never raises.
    ~RecordingPin() override { platform_.calls.push_back("unpin(" + utf8(path_) + ")"); }
    std::vector<Text> files() override {
        platform_.record("pinned files(" + utf8(path_) + ")");
        return platform_.folders[path_];
    }
    std::vector<FolderEntry> folders() override {
        platform_.record("pinned folders(" + utf8(path_) + ")");
        return platform_.subfolders[path_];
    }
    bool deleteFile(const Text& filePath) override {
        platform_.record("deleteFile(" + utf8(filePath) + ")");
        return platform_.existingFiles.erase(filePath) > 0;
    }
    void confirmUnchanged() override { platform_.record("confirmUnchanged(" + utf8(path_) + ")"); }

private:
    RecordingPlatform& platform_;
    Text path_;
};

}  // namespace

void RecordingPlatform::record(const std::string& line) {
    calls.push_back(line);
    if (const auto it = raiseOn.find(line); it != raiseOn.end()) {
        throw RaisedError(it->second);
    }
}

void RecordingPlatform::seedTypicalPc(const std::vector<Text>& templateNames) {
    classesRootDefaultValues["CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\\DriveLocation"] =
        std::string("H:\0", 3);
    windowsDirectory = "C:\\WINDOWS";
    const Text templates = L"H:\\Halvoran\\template\\";
    existingFiles = {L"C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX",
                     L"C:\\WINDOWS\\Halvoran.dotm", L"C:\\WINDOWS\\Halvoran.dot"};
    for (const Text& name : templateNames) {
        folders[templates].push_back(templates + name);
        existingFiles.insert(templates + name);
    }
}

std::vector<std::string> RecordingPlatform::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> matching;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(matching),
                 [&](const std::string& call) { return call.starts_with(prefix); });
    return matching;
}

NarrowText RecordingPlatform::narrow(const Text& text) {
    // Latin-1 stands in for the code page; NULs and length are kept.
    NarrowText out;
    for (const wchar_t c : text) {
        out += static_cast<std::uint32_t>(c) < 0x100 ? static_cast<char>(c) : '?';
    }
    return out;
}

Text RecordingPlatform::widen(const NarrowText& text) {
    Text out;
    for (const char c : text) {
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return out;
}

std::int32_t RecordingPlatform::RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                                            RegistryHandle& key) {
    record("RegOpenKeyA(" + rootName(root) + ", " + shown(subKey) +
           ", handle=" + std::to_string(key) + ")");
    if (root != RegistryRoot::classesRoot || !classesRootDefaultValues.contains(subKey)) {
        return 2;
    }
    key = nextHandle_++;
    openKeys_[key] = subKey;
    return 0;
}

std::int32_t RecordingPlatform::RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                                 std::uint32_t reserved, std::uint32_t& type,
                                                 std::span<char> data, std::uint32_t& dataLength) {
    record("RegQueryValueExA(" + std::to_string(key) + ", \"" + shown(valueName) + "\", " +
           std::to_string(reserved) + ", buffer=" + std::to_string(data.size()) +
           ", length=" + std::to_string(dataLength) + ")");
    const auto open = openKeys_.find(key);
    if (open == openKeys_.end() || !valueName.empty()) {
        return 2;
    }
    const std::string& stored = classesRootDefaultValues.at(open->second);
    if (stored.size() > dataLength || stored.size() > data.size()) {
        dataLength = static_cast<std::uint32_t>(stored.size());
        return registryStatus::moreData;
    }
    std::copy(stored.begin(), stored.end(), data.begin());
    dataLength = static_cast<std::uint32_t>(stored.size());
    type = 1;
    return 0;
}

std::int32_t RecordingPlatform::RegCloseKey(RegistryHandle key) {
    record("RegCloseKey(" + std::to_string(key) + ")");
    return openKeys_.erase(key) == 1 ? 0 : 6;
}

std::int32_t RecordingPlatform::SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) {
    record("SHDeleteKeyA(" + rootName(root) + ", " + shown(subKey) + ")");
    return registryDeleteStatus;
}

std::int32_t RecordingPlatform::SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                               const NarrowText& valueName) {
    record("SHDeleteValueA(" + rootName(root) + ", " + shown(subKey) + ", " + shown(valueName) +
           ")");
    return registryDeleteStatus;
}

std::uint32_t RecordingPlatform::GetWindowsDirectoryA(std::span<char> buffer) {
    record("GetWindowsDirectoryA(" + std::to_string(buffer.size()) + ")");
    if (!windowsDirectory || windowsDirectory->size() + 1 > buffer.size()) {
        return windowsDirectory ? static_cast<std::uint32_t>(windowsDirectory->size() + 1) : 0;
    }
    std::copy(windowsDirectory->begin(), windowsDirectory->end(), buffer.begin());
    buffer[windowsDirectory->size()] = '\0';
    return static_cast<std::uint32_t>(windowsDirectory->size());
}

std::int32_t RecordingPlatform::isAdministrator() {
    record("isAdministrator()");
    return administrator;
}

std::unique_ptr<FileSystemComponent> RecordingPlatform::createObject(const Text& programmaticId) {
    record("createObject(" + utf8(programmaticId) + ")");
    if (!componentAvailable) {
        raiseClassicError(429);
    }
    return std::make_unique<RecordingFileSystem>(*this);
}

std::unique_ptr<PinnedFolderPath> RecordingPlatform::pinFolderPath(const Text& folderPath) {
    record("pinFolderPath(" + utf8(folderPath) + ")");
    if (!folders.contains(folderPath)) {
        raiseClassicError(76);
    }
    return std::make_unique<RecordingPin>(*this, folderPath);
}

bool RecordingPlatform::scheduleDeletionIfInUse(const Text& filePath) {
    record("scheduleDeletionIfInUse(" + utf8(filePath) + ")");
    return filesInUse.contains(filePath);
}

void RecordingPlatform::showMessage(const Text& text) {
    record("showMessage(" + utf8(text) + ")");
    messages.push_back(text);
}

void RecordingPlatform::unloadWindow() { record("unloadWindow()"); }

void RecordingPlatform::endProgram() { record("endProgram()"); }

}  // namespace stravik::testing
