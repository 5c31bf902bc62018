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

std::vector<RegistryTarget> RemovalForm::registryTargets() const {
    const Text applicationKey = L"AppID\\" + Text(TargetIdentifiers::classIdentifier);
    const Text classKey = L"CLSID\\" + Text(TargetIdentifiers::classIdentifier);
    const Text downloads = downloadDirectory(windowsDirectory_);
    const Text downloadsSlashed = downloadDirectorySlashed(windowsDirectory_);
    const Text controlFile(TargetIdentifiers::controlFileName);
    const Text typeLibraryKey(TargetIdentifiers::typeLibraryKey);
    constexpr RegistryRoot classesRoot = RegistryRoot::classesRoot;
    constexpr RegistryRoot localMachine = RegistryRoot::localMachine;

    std::vector<RegistryTarget> targets = {
        {classesRoot, applicationKey, {}},
        {classesRoot, classKey, {}},
        {classesRoot, controlFile, {}},
        {classesRoot, typeLibraryKey, {}},
        {localMachine, Text(softwareClasses) + applicationKey, {}},
        {localMachine, Text(softwareClasses) + classKey, {}},
        {localMachine, Text(softwareClasses) + controlFile, {}},
        {localMachine, Text(softwareClasses) + typeLibraryKey, {}},
        {localMachine, Text(distributionUnit), {}},
        {localMachine, Text(moduleUsage) + downloadsSlashed + controlFile, {}},
        {localMachine, Text(sharedDlls), downloads + controlFile},
    };
    for (std::int16_t n = 1; n <= lastConflictNumber; ++n) {
        const Text conflictFolder =
            Text(TargetIdentifiers::conflictFolderPrefix) + std::to_wstring(n);
        targets.push_back(
            {localMachine,
             Text(moduleUsage) + downloadsSlashed + conflictFolder + L"/" + controlFile,
             {}});
        targets.push_back(
            {localMachine, Text(sharedDlls), downloads + conflictFolder + L"\\" + controlFile});
    }
    return targets;
}

void RemovalForm::clearRegistry() {
    guarded([&] {
        for (const RegistryTarget& target : registryTargets()) {
            const NarrowText key = platform_.narrow(target.key);
            const std::int32_t status =
                target.value
                    ? platform_.SHDeleteValueA(target.root, key, platform_.narrow(*target.value))
                    : platform_.SHDeleteKeyA(target.root, key);
            // The window never looks at a status: a missing entry, or one
            // this user may not delete, is simply skipped. Only the console
            // program's account tells them apart.
            if (report_ != nullptr) {
                tell(describeRegistryTarget(target),
                     status == registryStatus::success        ? Fate::removed
                     : status == registryStatus::fileNotFound ? Fate::absent
                                                              : Fate::left);
            }
        }
    });
}

Text describeRegistryTarget(const RegistryTarget& target) {
    const Text root =
        target.root == RegistryRoot::classesRoot ? L"HKEY_CLASSES_ROOT\\" : L"HKEY_LOCAL_MACHINE\\";
    return root + target.key + (target.value ? L" value " + *target.value : Text());
}

}  // namespace stravik
