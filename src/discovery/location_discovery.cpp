#include <array>
#include <cstdint>

#include "platform/scope_exit.h"
#include "shell/guarded.h"
#include "shell/removal_form.h"

namespace stravik {

namespace {

constexpr std::size_t driveBufferBytes = 10;
constexpr std::size_t directoryBufferChars = 144;
constexpr std::wstring_view driveNotFoundMessage =
    L"Cannot find Halvoran Drive or Windows Directory.  Please contact your System "
    L"Administrator.";

}  // namespace

Text RemovalForm::getDriveLocationFromRegistry() {
    Text drive;
    guarded([&] {
        const Text keyPath = L"CLSID\\" + Text(TargetIdentifiers::classIdentifier) +
                             Text(TargetIdentifiers::driveSubkey);
        const NarrowText narrowKeyPath = platform_.narrow(keyPath);
        const NarrowText defaultValueName = platform_.narrow(Text());

        RegistryHandle key = 0;
        // Closed on every way out, so a raised error cannot leak it.
        auto closer = scopeExit([&] { platform_.RegCloseKey(key); });
        platform_.RegOpenKeyA(RegistryRoot::classesRoot, narrowKeyPath, key);

        std::array<char, driveBufferBytes> buffer{};
        buffer.fill(' ');
        std::uint32_t dataLength = driveBufferBytes;
        std::uint32_t type = 0;
        platform_.RegQueryValueExA(key, defaultValueName, 0, type, buffer, dataLength);
        closer.runNow();

        // The stored text's terminator stays in the buffer; only blanks are
        // trimmed, so the first character left is the drive letter.
        const Text stored = trimBlanks(platform_.widen(NarrowText(buffer.data(), buffer.size())));
        // A stored empty text leaves the terminator first: that is no drive.
        if (!stored.empty() && stored.front() != L'\0') {
            drive = stored.substr(0, 1);
        }
    });
    return drive;
}

Text RemovalForm::getDriveLocation() {
    Text location;
    guarded([&] {
        NarrowText buffer(directoryBufferChars, ' ');
        platform_.GetWindowsDirectoryA(buffer);
        // The directory and its terminator, or empty when nothing was written.
        location = trimBlanks(platform_.widen(buffer));
    });
    return location;
}

void RemovalForm::discoverLocations() {
    // A drive given to the console program goes ahead of the registration,
    // which the machine's part of a removal deletes.
    if (!givenTemplateRoot_.empty()) {
        driveSource_ = DriveSource::templateRoot;
    } else if (!givenInstallDrive_.empty()) {
        installDrive_ = givenInstallDrive_;
        driveSource_ = DriveSource::commandLine;
    } else {
        installDrive_ = getDriveLocationFromRegistry();
        driveSource_ = installDrive_.empty() ? DriveSource::none : DriveSource::registration;
    }

    const Text location = getDriveLocation();
    windowsDirectory_ = location.empty() ? Text() : location.substr(0, location.size() - 1);

    if (installDrive_.empty() && driveSource_ != DriveSource::templateRoot) {
        if (!windowsDirectory_.empty()) {
            installDrive_ = trimBlanks(windowsDirectory_).substr(0, 1);
            driveSource_ = DriveSource::windowsDirectory;
        } else {
            platform_.showMessage(Text(driveNotFoundMessage));
            btnExitClick();
        }
    }
}

}  // namespace stravik
