#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "identifiers/target_identifiers.h"
#include "platform/platform_services.h"
#include "shell/target_report.h"

namespace stravik {

// Where the install drive came from: the console program's command line,
// the control's registration, or the Windows directory's drive; or the
// folder that holds the template folder, given to the console program.
enum class DriveSource { none, commandLine, registration, windowsDirectory, templateRoot };

// One registry entry that the clean-up deletes: a key tree, or one value.
struct RegistryTarget {
    RegistryRoot root;
    Text key;
    std::optional<Text> value;
};

// The tool's one window. It holds all state and all operations; the
// platform's window layer creates it and delivers its events.
class RemovalForm {
public:
    explicit RemovalForm(PlatformServices& platform);

    RemovalForm(const RemovalForm&) = delete;
    RemovalForm& operator=(const RemovalForm&) = delete;

    // Public operations.
    Text getDriveLocation();
    Text getDriveLocationFromRegistry();
    void clearRegistry();

    // Events, delivered by the window layer.
    void btnExitClick();
    void btnRemoveClick();
    void load();
    void terminate();

    // For the console program: Remove and the check cover `scope` only, tell
    // `report` of every target, and a file in the Windows directory that
    // another program holds open is deleted at the next restart instead of
    // stopping the run. A template folder that is not there, on a drive
    // that is, holds nothing to remove rather than stopping Remove. A
    // non-empty `installDrive` is used instead of the registration's; a
    // non-empty `templateRoot` ("X:\a\" or "\\server\share\a\") holds
    // the template folder instead of any drive, and its folders, which
    // another user may own, are opened as a backup program opens them
    // where the account is denied (PlatformServices::pinFolderPathAsBackup).
    // A non-null `heldAbove`, pinned above `templateRoot` and outliving the
    // form, pins the root and the template folder from it
    // (PinnedFolderPath::pinWithin). The window never calls this.
    void runUnattended(Scope scope, TargetReport& report, const Text& installDrive = Text(),
                       const Text& templateRoot = Text(), PinnedFolderPath* heldAbove = nullptr);
    // Tells the report whether each target in the scope is there, changing
    // nothing. True when anything is there, or the template folder cannot
    // be reached to say. Guarded.
    bool checkPresence();
    // The first failure reported since the window was made, if any.
    const std::optional<ErrorInfo>& firstError() const { return firstError_; }

    // State, read by the window layer and by tests.
    const Text& installDrive() const { return installDrive_; }
    const Text& windowsDirectory() const { return windowsDirectory_; }
    DriveSource driveSource() const { return driveSource_; }
    bool hasFileSystem() const { return fileSystem_ != nullptr; }
    // The template folder: the install drive's, or the given root's.
    Text templateFolderPath() const;

private:
    void reportError(const ErrorInfo& error);
    void discoverLocations();
    FileSystemComponent& requireFileSystem();

    void removeTemplateFiles(FileSystemComponent& fileSystem);
    // Unattended: the template folder pinned, or null when it is not there
    // on a drive that is. When the drive cannot be reached the pin's error
    // (76 or 68) is raised: nothing shows that the folder is empty.
    std::unique_ptr<PinnedFolderPath> pinTemplateFolderIfThere();
    std::unique_ptr<PinnedFolderPath> pin(const Text& folderPath);
    // Tells the report when the pin of `folderPath` needed the backup and
    // restore privileges.
    void tellPrivileges(const PinnedFolderPath* pinned, const Text& folderPath);
    // Returns the files left for want of administrator rights.
    std::vector<Text> removeWindowsFiles(FileSystemComponent& fileSystem);
    std::vector<Text> windowsFiles() const;
    // Every entry clearRegistry deletes, in its order.
    std::vector<RegistryTarget> registryTargets() const;
    void tell(const Text& target, Fate fate);
    void reach(const Text& target);
    bool covers(Scope part) const { return scope_ == Scope::everything || scope_ == part; }
    bool unattended() const { return report_ != nullptr; }

    // Runs `steps`; at the first raised error reports it and returns. Any
    // other exception is reported as an internal error.
    template <typename Steps>
    void guarded(Steps&& steps);

    PlatformServices& platform_;
    Text installDrive_;
    Text windowsDirectory_;
    std::unique_ptr<FileSystemComponent> fileSystem_;
    std::optional<ErrorInfo> firstError_;
    Scope scope_ = Scope::everything;
    TargetReport* report_ = nullptr;
    Text givenInstallDrive_;
    Text givenTemplateRoot_;
    PinnedFolderPath* heldAbove_ = nullptr;
    std::unique_ptr<PinnedFolderPath> heldRoot_;  // the template root, pinned from heldAbove_
    DriveSource driveSource_ = DriveSource::none;
};

// "HKEY_LOCAL_MACHINE\key" for a key tree; the value's name follows a
// value's key after " value ".
Text describeRegistryTarget(const RegistryTarget& target);

// "Error #" + sign position + digits + ": " + description + "."; an empty
// description is replaced as describedError says.
Text formatErrorMessage(const ErrorInfo& error);

// Removes the space character, and only it, from both ends.
Text trimBlanks(const Text& text);

}  // namespace stravik
