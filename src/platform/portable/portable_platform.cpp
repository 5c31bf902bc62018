#include "platform/portable/portable_platform.h"

#include <algorithm>
#include <utility>

#include "platform/portable/stand_in_file_system.h"
#include "platform/portable/utf8.h"
#include "platform/portable/windows1252.h"
#include "shell/removal_form.h"

namespace stravik::portable {
namespace {

constexpr std::string_view registryFileName = "registry.reg";
constexpr std::wstring_view fileSystemProgramId = L"Scripting.FileSystemObject";
constexpr std::wstring_view currentVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::wstring_view systemRootValue = L"SystemRoot";

bool isStringType(std::uint32_t type) {
    return type == registryType::string || type == registryType::expandString ||
           type == registryType::multiString;
}

// The data as the A call hands it out: strings converted from UTF-16 to
// the narrow code page character by character (a stored terminator
// becomes a narrow one), other types byte for byte.
NarrowText narrowData(const RegistryValue& value) {
    if (isStringType(value.type)) {
        return toWindows1252(textFromUtf16Le(value.data));
    }
    return NarrowText(value.data.begin(), value.data.end());
}

}  // namespace

PortablePlatform::PortablePlatform(std::filesystem::path machineRoot, bool administrator,
                                   std::istream& input, std::ostream& output)
    : machineRoot_(std::move(machineRoot)),
      administrator_(administrator),
      console_(input, output) {}

int PortablePlatform::run() {
    RemovalForm form(*this);
    form.load();
    if (programEnded_) {
        return 0;
    }
    windowShown_ = true;
    console_.draw();
    while (windowShown_ && !programEnded_) {
        const std::optional<std::string> line = console_.readLine();
        if (!line) {
            // The title bar's close box.
            unloadWindow();
        } else if (*line == "r") {
            form.btnRemoveClick();
        } else if (*line == "e") {
            form.btnExitClick();
        }
    }
    if (!programEnded_) {
        form.terminate();
    }
    return 0;
}

NarrowText PortablePlatform::narrow(const Text& text) { return toWindows1252(text); }

Text PortablePlatform::widen(const NarrowText& text) { return fromWindows1252(text); }

std::int32_t PortablePlatform::RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                                           RegistryHandle& key) {
    RegistryStore store(machineRoot_ / registryFileName);
    store.load();
    const Text path = fromWindows1252(subKey);
    if (!store.keyExists(root, path)) {
        return status::fileNotFound;
    }
    key = nextHandle_++;
    openKeys_.emplace(key, OpenKey{root, path});
    return status::success;
}

std::int32_t PortablePlatform::RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                                std::uint32_t /*reserved*/, std::uint32_t& type,
                                                std::span<char> data, std::uint32_t& dataLength) {
    const auto openKey = openKeys_.find(key);
    if (openKey == openKeys_.end()) {
        return status::invalidHandle;
    }
    RegistryStore store(machineRoot_ / registryFileName);
    store.load();
    const RegistryValue* value =
        store.findValue(openKey->second.root, openKey->second.subKey, fromWindows1252(valueName));
    if (value == nullptr) {
        return status::fileNotFound;
    }
    const NarrowText bytes = narrowData(*value);
    type = value->type;
    const std::size_t capacity = std::min<std::size_t>(dataLength, data.size());
    dataLength = static_cast<std::uint32_t>(bytes.size());
    if (bytes.size() > capacity) {
        return status::moreData;
    }
    std::copy(bytes.begin(), bytes.end(), data.begin());
    return status::success;
}

std::int32_t PortablePlatform::RegCloseKey(RegistryHandle key) {
    return openKeys_.erase(key) == 1 ? status::success : status::invalidHandle;
}

std::int32_t PortablePlatform::SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) {
    RegistryStore store(machineRoot_ / registryFileName);
    store.load();
    const Text path = fromWindows1252(subKey);
    if (!store.keyExists(root, path)) {
        return status::fileNotFound;
    }
    // Both roots are machine-wide: only an administrator may change them.
    if (!administrator_) {
        return status::accessDenied;
    }
    if (store.deleteKeyTree(root, path)) {
        store.save();
    }
    return status::success;
}

std::int32_t PortablePlatform::SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                              const NarrowText& valueName) {
    RegistryStore store(machineRoot_ / registryFileName);
    store.load();
    const Text path = fromWindows1252(subKey);
    const Text name = fromWindows1252(valueName);
    if (store.findValue(root, path, name) == nullptr) {
        return status::fileNotFound;
    }
    if (!administrator_) {
        return status::accessDenied;
    }
    if (store.deleteValue(root, path, name)) {
        store.save();
    }
    return status::success;
}

std::uint32_t PortablePlatform::GetWindowsDirectoryA(std::span<char> buffer) {
    RegistryStore store(machineRoot_ / registryFileName);
    store.load();
    const RegistryValue* value =
        store.findValue(RegistryRoot::localMachine, Text(currentVersionKey), Text(systemRootValue));
    if (value == nullptr || !isStringType(value->type)) {
        return 0;
    }
    // A directory is a plain C string: it ends at the first terminator.
    NarrowText directory = narrowData(*value);
    directory.resize(std::min(directory.size(), directory.find('\0')));
    if (directory.size() + 1 > buffer.size()) {
        return 0;
    }
    std::copy(directory.begin(), directory.end(), buffer.begin());
    buffer[directory.size()] = '\0';
    return static_cast<std::uint32_t>(directory.size());
}

std::int32_t PortablePlatform::isAdministrator() { return administrator_ ? 1 : 0; }

std::unique_ptr<FileSystemComponent> PortablePlatform::createObject(const Text& programmaticId) {
    if (foldCase(programmaticId) != foldCase(Text(fileSystemProgramId))) {
        throw RaisedError(429, L"ActiveX component can't create object");
    }
    return std::make_unique<StandInFileSystem>(machineRoot_);
}

std::unique_ptr<PinnedFolderPath> PortablePlatform::pinFolderPath(const Text& folderPath) {
    return pinStandInFolderPath(machineRoot_, folderPath);
}

void PortablePlatform::showMessage(const Text& text) { console_.showMessage(text); }

void PortablePlatform::unloadWindow() { windowShown_ = false; }

void PortablePlatform::endProgram() { programEnded_ = true; }

}  // namespace stravik::portable
