#include <array>
#include <vector>

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

}  // namespace

void RemovalForm::btnRemoveClick() {
    guarded([&] {
        const Text folderPath = templateFolder(installDrive_);
        FileSystemComponent& fileSystem = requireFileSystem();

        // Any user may plant a link on the way to the template folder, and
        // deleting through one would delete another folder's files with our
        // rights; any user may name a file there as they like, and the
        // component copies the names it lists and deletes into buffers of a
        // fixed size. So the folders are checked and pinned before anything
        // else touches the path, the files are listed from the held folder,
        // and each is opened, checked and deleted by its name alone inside
        // it: no name reaches a call that resolves a full path again.
        {
            const std::unique_ptr<PinnedFolderPath> pinned = platform_.pinFolderPath(folderPath);
            fileSystem.GetFolder(folderPath);
            // Only the files directly in the template folder; its subfolders
            // and the folder itself stay. No administrator test for these.
            for (const Text& file : pinned->files()) {
                pinned->deleteFile(file);
            }
            pinned->confirmUnchanged();
        }

        // The Windows directory's files go only for an administrator. The
        // test is asked afresh, and only for a file that exists.
        const std::array<Text, 3> windowsFiles = {
            downloadDirectory(windowsDirectory_) + Text(TargetIdentifiers::controlFileName),
            windowsDirectory_ + Text(TargetIdentifiers::firstTemplateFileTail),
            windowsDirectory_ + Text(TargetIdentifiers::secondTemplateFileTail),
        };
        std::vector<Text> leftForAnAdministrator;
        for (const Text& path : windowsFiles) {
            if (!fileSystem.FileExists(path)) {
                continue;
            }
            if (platform_.isAdministrator() == 0) {
                leftForAnAdministrator.push_back(path);
                continue;
            }
            fileSystem.DeleteFile(path, true);
        }

        clearRegistry();
        platform_.showMessage(Text(finishedMessage));
        if (!leftForAnAdministrator.empty()) {
            platform_.showMessage(leftForAnAdministratorMessage(leftForAnAdministrator));
        }
    });
}

}  // namespace stravik
