#include <vector>

#include "platform/classic_errors.h"
#include "platform/scope_exit.h"
#include "shell/guarded.h"
#include "shell/removal_form.h"

namespace stravik {

namespace {
constexpr std::wstring_view finishedMessage = L"Finished removing Halvoran OCX files!";

// Said after the finished message when files were left for want of
// administrator rights: the run did not remove everything it says it did.
Text leftForAnAdministratorMessage(const std::vector<Text>& files) {
    Text message = L"Stravik was not run as an administrator, so these files were left:\n";
    for (const Text& file : files) {
        message += L"\n" + file;
    }
    return message +
           L"\n\nAn administrator must run Stravik to remove them and the machine-wide registry "
           L"entries.";
}

// A folder not there, or a drive not mapped or not ready.
bool isNotReached(const RaisedError& error) {
    const std::int32_t number = error.info().number;
    return number == classic::pathNotFound || number == classic::deviceUnavailable;
}

}  // namespace

void RemovalForm::btnRemoveClick() {
    guarded([&] {
        FileSystemComponent& fileSystem = requireFileSystem();
        if (covers(Scope::user)) {
            removeTemplateFiles(fileSystem);
        }
        std::vector<Text> leftForAnAdministrator;
        if (covers(Scope::machine)) {
            leftForAnAdministrator = removeWindowsFiles(fileSystem);
            clearRegistry();
        }
        platform_.showMessage(Text(finishedMessage));
        if (!leftForAnAdministrator.empty()) {
            platform_.showMessage(leftForAnAdministratorMessage(leftForAnAdministrator));
        }
    });
}

void RemovalForm::removeTemplateFiles(FileSystemComponent& fileSystem) {
    const Text folderPath = templateFolderPath();
    // Any user may plant a link on the way to the template folder, and
    // deleting through one would delete another folder's files with our
    // rights; any user may name a file there as they like, and the
    // component copies the names it lists and deletes into buffers of a
    // fixed size. So the folders are checked and pinned before anything
    // else touches the path, the files are listed from the held folder, and
    // each is opened, checked and deleted by its name alone inside it: no
    // name reaches a call that resolves a full path again.
    reach(folderPath);
    const std::unique_ptr<PinnedFolderPath> pinned =
        unattended() ? pinTemplateFolderIfThere() : platform_.pinFolderPath(folderPath);
    auto privileges = scopeExit([&] { tellPrivileges(pinned.get(), folderPath); });
    if (!pinned) {
        // Unattended, a folder that is not there holds nothing to remove:
        // a second run finishes as the first one did.
        tell(folderPath, Fate::absent);
        return;
    }
    fileSystem.GetFolder(folderPath);
    // Only the files directly in the template folder; its subfolders and
    // the folder itself stay. No administrator test for these.
    for (const Text& file : pinned->files()) {
        reach(file);
        tell(file, pinned->deleteFile(file) ? Fate::removed : Fate::absent);
    }
    reach(folderPath);
    pinned->confirmUnchanged();
}

std::unique_ptr<PinnedFolderPath> RemovalForm::pin(const Text& folderPath) {
    return givenTemplateRoot_.empty() ? platform_.pinFolderPath(folderPath)
                                      : platform_.pinFolderPathAsBackup(folderPath);
}

void RemovalForm::tellPrivileges(const PinnedFolderPath* pinned, const Text& folderPath) {
    if (report_ != nullptr && pinned != nullptr && pinned->usedBackupPrivileges()) {
        report_->openedAsBackup(folderPath);
    }
}

std::unique_ptr<PinnedFolderPath> RemovalForm::pinTemplateFolderIfThere() {
    const Text folderPath = templateFolderPath();
    // Below a folder held already (a sweep's homes folder), the root is
    // pinned from it first and held while the form works, then the
    // template folder from the root: a template folder that is not there,
    // in a root that is, holds nothing. The root's failure is the pin's.
    if (heldAbove_ != nullptr && !givenTemplateRoot_.empty()) {
        heldRoot_ = heldAbove_->pinWithin(givenTemplateRoot_);
    }
    if (heldRoot_) {
        try {
            if (std::unique_ptr<PinnedFolderPath> pinned = heldRoot_->pinWithin(folderPath)) {
                return pinned;
            }
        } catch (const RaisedError& error) {
            if (!isNotReached(error)) {
                throw;
            }
            return nullptr;
        }
    }
    try {
        return pin(folderPath);
    } catch (const RaisedError& error) {
        if (!isNotReached(error)) {
            throw;
        }
        // A drive that is not mapped for this account, or not ready, may
        // hold the folder with everything in it; so may a root that cannot
        // be reached.
        bool driveReachable = true;
        try {
            pin(givenTemplateRoot_.empty() ? folderPath.substr(0, 3) : givenTemplateRoot_);
        } catch (const RaisedError&) {
            driveReachable = false;
        }
        if (!driveReachable) {
            throw;
        }
        return nullptr;
    }
}

std::vector<Text> RemovalForm::windowsFiles() const {
    return {
        downloadDirectory(windowsDirectory_) + Text(TargetIdentifiers::controlFileName),
        windowsDirectory_ + Text(TargetIdentifiers::firstTemplateFileTail),
        windowsDirectory_ + Text(TargetIdentifiers::secondTemplateFileTail),
    };
}

std::vector<Text> RemovalForm::removeWindowsFiles(FileSystemComponent& fileSystem) {
    // The Windows directory's files go only for an administrator. The test
    // is asked afresh, and only for a file that exists.
    std::vector<Text> leftForAnAdministrator;
    for (const Text& path : windowsFiles()) {
        reach(path);
        if (!fileSystem.FileExists(path)) {
            tell(path, Fate::absent);
            continue;
        }
        if (platform_.isAdministrator() == 0) {
            leftForAnAdministrator.push_back(path);
            tell(path, Fate::left);
            continue;
        }
        try {
            fileSystem.DeleteFile(path, true);
        } catch (const RaisedError&) {
            // Unattended, a control that Word or the browser has loaded
            // goes at the next restart, and the run carries on.
            if (!unattended() || !platform_.scheduleDeletionIfInUse(path)) {
                throw;
            }
            tell(path, Fate::scheduled);
            continue;
        }
        tell(path, Fate::removed);
    }
    return leftForAnAdministrator;
}

}  // namespace stravik
