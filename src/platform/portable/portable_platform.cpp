#include "platform/portable/portable_platform.h"

#include <algorithm>
#include <functional>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "platform/classic_errors.h"
#include "platform/portable/registry_store.h"
#include "platform/portable/stand_in_file_system.h"
#include "platform/portable/utf8.h"
#include "platform/portable/windows1252.h"
#include "platform/window_captions.h"
#include "shell/removal_form.h"

namespace stravik::portable {
namespace {

constexpr std::wstring_view fileSystemProgramId = L"Scripting.FileSystemObject";
constexpr std::wstring_view currentVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::wstring_view systemRootValue = L"SystemRoot";

// The data as the A call hands it out: strings converted from UTF-16 to
// the narrow code page character by character (a stored terminator
// becomes a narrow one), other types byte for byte.
NarrowText narrowData(const RegistryValue& value) {
    if (isStringType(value.type)) {
        return toWindows1252(textFromUtf16Le(value.data));
    }
    return NarrowText(value.data.begin(), value.data.end());
}

// The window as text: its caption and its two buttons, each with the key
// that presses it.
void drawWindow(std::ostream& output) {
    constexpr std::size_t innerWidth = 36;
    constexpr std::size_t keyColumn = 26;  // where a button's key is written
    const std::string border = '+' + std::string(innerWidth, '-') + "+\n";
    const auto row = [&](std::string content) {
        output << "|  " << content << std::string(innerWidth - 2 - content.size(), ' ') << "|\n";
    };
    const auto button = [&](const Text& caption, char key) {
        std::string text = "[ " + encodeUtf8(caption) + " ]";
        text.resize(std::max(text.size() + 1, keyColumn), ' ');
        return text + '(' + key + ')';
    };
    output << border;
    row(encodeUtf8(windowCaption));
    output << border;
    for (const std::string& content :
         {std::string(), button(removeButtonCaption, 'r'), std::string(),
          button(exitButtonCaption, 'e'), std::string()}) {
        row(content);
    }
    output << border;
}

class PortablePlatform final : public PlatformServices {
public:
    PortablePlatform(std::filesystem::path machineRoot, bool administrator, std::istream& input,
                     std::ostream& output)
        : machineRoot_(std::move(machineRoot)),
          administrator_(administrator),
          input_(input),
          output_(output) {}

    int run() {
        RemovalForm form(*this);
        form.load();
        if (programEnded_) {
            return 0;
        }
        windowShown_ = true;
        drawWindow(output_);
        while (windowShown_ && !programEnded_) {
            const std::optional<std::string> line = readLine();
            if (!line) {
                unloadWindow();  // the title bar's close box
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

    NarrowText narrow(const Text& text) override { return toWindows1252(text); }
    Text widen(const NarrowText& text) override { return fromWindows1252(text); }

    std::int32_t RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                             RegistryHandle& key) override {
        const Text path = fromWindows1252(subKey);
        if (!registry().keyExists(root, path)) {
            return registryStatus::fileNotFound;
        }
        key = nextHandle_++;
        openKeys_.emplace(key, OpenKey{root, path});
        return registryStatus::success;
    }

    std::int32_t RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                  std::uint32_t /*reserved*/, std::uint32_t& type,
                                  std::span<char> data, std::uint32_t& dataLength) override {
        const auto openKey = openKeys_.find(key);
        if (openKey == openKeys_.end()) {
            return registryStatus::invalidHandle;
        }
        const RegistryStore store = registry();
        const RegistryValue* value = store.findValue(openKey->second.root, openKey->second.subKey,
                                                     fromWindows1252(valueName));
        if (value == nullptr) {
            return registryStatus::fileNotFound;
        }
        const NarrowText bytes = narrowData(*value);
        type = value->type;
        const std::size_t capacity = std::min<std::size_t>(dataLength, data.size());
        dataLength = static_cast<std::uint32_t>(bytes.size());
        if (bytes.size() > capacity) {
            return registryStatus::moreData;
        }
        std::copy(bytes.begin(), bytes.end(), data.begin());
        return registryStatus::success;
    }

    std::int32_t RegCloseKey(RegistryHandle key) override {
        return openKeys_.erase(key) == 1 ? registryStatus::success : registryStatus::invalidHandle;
    }

    std::int32_t SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) override {
        const Text path = fromWindows1252(subKey);
        return deleteFromRegistry(
            [&](RegistryStore& store) { return store.deleteKeyTree(root, path); });
    }

    std::int32_t SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                const NarrowText& valueName) override {
        const Text path = fromWindows1252(subKey);
        const Text name = fromWindows1252(valueName);
        return deleteFromRegistry(
            [&](RegistryStore& store) { return store.deleteValue(root, path, name); });
    }

    std::uint32_t GetWindowsDirectoryA(std::span<char> buffer) override {
        const RegistryStore store = registry();
        const RegistryValue* value = store.findValue(
            RegistryRoot::localMachine, Text(currentVersionKey), Text(systemRootValue));
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

    std::int32_t isAdministrator() override { return administrator_ ? 1 : 0; }

    std::unique_ptr<FileSystemComponent> createObject(const Text& programmaticId) override {
        if (foldCase(programmaticId) != foldCase(Text(fileSystemProgramId))) {
            raiseClassicError(classic::cannotCreateObject);
        }
        return makeStandInFileSystem(machineRoot_);
    }

    std::unique_ptr<PinnedFolderPath> pinFolderPath(const Text& folderPath) override {
        return pinStandInFolderPath(machineRoot_, folderPath);
    }

    // No program on the stand-in holds a file open against deletion.
    bool scheduleDeletionIfInUse(const Text&) override { return false; }

    // A message box captioned "Stravik"; one line of input (or its end)
    // is OK.
    void showMessage(const Text& text) override {
        output_ << '[' << encodeUtf8(messageCaption) << "] " << encodeUtf8(text) << "\n[ OK ]\n";
        readLine();
    }

    void unloadWindow() override { windowShown_ = false; }
    void endProgram() override { programEnded_ = true; }

private:
    struct OpenKey {
        RegistryRoot root;
        Text subKey;
    };

    // Deletes by `remove`, which tells whether anything was there, from a
    // copy of the registry that is saved only when an administrator asked:
    // both roots are machine-wide.
    std::int32_t deleteFromRegistry(const std::function<bool(RegistryStore&)>& remove) {
        RegistryStore store = registry();
        if (!remove(store)) {
            return registryStatus::fileNotFound;
        }
        if (!administrator_) {
            return registryStatus::accessDenied;
        }
        store.save();
        return registryStatus::success;
    }

    // registry.reg as it is now: every call reads it afresh.
    RegistryStore registry() const {
        RegistryStore store(machineRoot_ / "registry.reg");
        store.load();
        return store;
    }

    // The next line without surrounding white space, or nothing at the end
    // of input. Everything drawn so far is shown first.
    std::optional<std::string> readLine() {
        output_.flush();
        std::string line;
        if (!std::getline(input_, line)) {
            return std::nullopt;
        }
        constexpr std::string_view whiteSpace = " \t\r\n";
        line.erase(0, line.find_first_not_of(whiteSpace));
        line.erase(line.find_last_not_of(whiteSpace) + 1);  // all of it when it was blank
        return line;
    }

    std::filesystem::path machineRoot_;
    bool administrator_;
    std::istream& input_;
    std::ostream& output_;
    std::map<RegistryHandle, OpenKey> openKeys_;
    RegistryHandle nextHandle_ = 1;
    bool windowShown_ = false;
    bool programEnded_ = false;
};

}  // namespace

std::unique_ptr<PlatformServices> makePortablePlatform(std::filesystem::path machineRoot,
                                                       bool administrator, std::istream& input,
                                                       std::ostream& output) {
    return std::make_unique<PortablePlatform>(std::move(machineRoot), administrator, input, output);
}

int runPortableProgram(std::filesystem::path machineRoot, bool administrator, std::istream& input,
                       std::ostream& output) {
    return PortablePlatform(std::move(machineRoot), administrator, input, output).run();
}

}  // namespace stravik::portable
