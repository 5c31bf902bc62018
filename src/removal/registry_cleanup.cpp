#include <cstdint>
#include <string>

#include "shell/guarded.h"
#include "shell/removal_form.h"

namespace stravik {

namespace {
constexpr std::wstring_view softwareClasses = L"SOFTWARE\\Classes\\";
constexpr std::wstring_view distributionUnit =
    L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution "
    L"Units\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}";
constexpr std::wstring_view moduleUsage =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
// Passed with its trailing separator, exactly as the shell expects it.
constexpr std::wstring_view sharedDlls =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\";
constexpr std::int16_t lastConflictNumber = 10;
}  // namespace

void RemovalForm::clearRegistry() {
    guarded([&] {
        const Text applicationKey = L"AppID\\" + Text(TargetIdentifiers::classIdentifier);
        const Text classKey = L"CLSID\\" + Text(TargetIdentifiers::classIdentifier);
        const Text downloads = downloadDirectory(windowsDirectory_);
        const Text downloadsSlashed = downloadDirectorySlashed(windowsDirectory_);
        const Text controlFile(TargetIdentifiers::controlFileName);
        const Text typeLibraryKey(TargetIdentifiers::typeLibraryKey);

        // Statuses are ignored: a missing entry, or one this user may not
        // delete, is simply skipped.
        const auto deleteKey = [&](RegistryRoot root, const Text& path) {
            platform_.SHDeleteKeyA(root, platform_.narrow(path));
        };
        const auto deleteValue = [&](RegistryRoot root, const Text& path, const Text& value) {
            platform_.SHDeleteValueA(root, platform_.narrow(path), platform_.narrow(value));
        };
        constexpr RegistryRoot classesRoot = RegistryRoot::classesRoot;
        constexpr RegistryRoot localMachine = RegistryRoot::localMachine;

        deleteKey(classesRoot, applicationKey);
        deleteKey(classesRoot, classKey);
        deleteKey(classesRoot, controlFile);
        deleteKey(classesRoot, typeLibraryKey);
        deleteKey(localMachine, Text(softwareClasses) + applicationKey);
        deleteKey(localMachine, Text(softwareClasses) + classKey);
        deleteKey(localMachine, Text(softwareClasses) + controlFile);
        deleteKey(localMachine, Text(softwareClasses) + typeLibraryKey);
        deleteKey(localMachine, Text(distributionUnit));
        deleteKey(localMachine, Text(moduleUsage) + downloadsSlashed + controlFile);
        deleteValue(localMachine, Text(sharedDlls), downloads + controlFile);

        for (std::int16_t n = 1; n <= lastConflictNumber; ++n) {
            const Text conflictFolder =
                Text(TargetIdentifiers::conflictFolderPrefix) + std::to_wstring(n);
            deleteKey(localMachine,
                      Text(moduleUsage) + downloadsSlashed + conflictFolder + L"/" + controlFile);
            deleteValue(localMachine, Text(sharedDlls),
                        downloads + conflictFolder + L"\\" + controlFile);
        }
    });
}

}  // namespace stravik
