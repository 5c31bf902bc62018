#include <array>

#include "platform/classic_errors.h"
#include "shell/guarded.h"
#include "shell/removal_form.h"

namespace stravik {

bool RemovalForm::checkPresence() {
    bool found = false;
    guarded([&] {
        const auto tellFound = [&](const Text& target, bool present) {
            tell(target, present ? Fate::present : Fate::absent);
            found = found || present;
        };
        FileSystemComponent& fileSystem = requireFileSystem();

        if (covers(Scope::user)) {
            // Listed as Remove lists them: from the folder held, not through
            // any link.
            const Text folderPath = templateFolderPath();
            std::unique_ptr<PinnedFolderPath> pinned;
            bool reachable = true;
            reach(folderPath);
            try {
                pinned = pinTemplateFolderIfThere();
            } catch (const RaisedError& error) {
                // Not "nothing there": the drive may hold it all. Anything
                // else, a link planted on the way included, is a failure.
                if (error.info().number != classic::pathNotFound &&
                    error.info().number != classic::deviceUnavailable) {
                    throw;
                }
                reachable = false;
            }
            tellPrivileges(pinned.get(), folderPath);
            const std::vector<Text> files = pinned ? pinned->files() : std::vector<Text>();
            for (const Text& file : files) {
                tellFound(file, true);
            }
            if (!reachable) {
                tell(folderPath, Fate::unreachable);
                found = true;
            } else if (files.empty()) {
                tellFound(folderPath, false);
            }
        }

        if (covers(Scope::machine)) {
            for (const Text& path : windowsFiles()) {
                reach(path);
                tellFound(path, fileSystem.FileExists(path));
            }
            for (const RegistryTarget& target : registryTargets()) {
                const NarrowText keyPath = platform_.narrow(target.key);
                const NarrowText valueName = target.value ? platform_.narrow(*target.value) : "";
                RegistryHandle key = 0;
                platform_.RegOpenKeyA(target.root, keyPath, key);
                bool present = key != 0;
                if (present && target.value) {
                    // A buffer too small for the data still finds the value.
                    std::array<char, 1> data{};
                    std::uint32_t type = 0;
                    std::uint32_t length = data.size();
                    const std::int32_t status =
                        platform_.RegQueryValueExA(key, valueName, 0, type, data, length);
                    present =
                        status == registryStatus::success || status == registryStatus::moreData;
                }
                platform_.RegCloseKey(key);
                tellFound(describeRegistryTarget(target), present);
            }
        }
    });
    return found;
}

}  // namespace stravik
