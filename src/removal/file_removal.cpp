#include <array>

#include "shell/guarded.h"
#include "shell/removal_form.h"

namespace stravik {

namespace {
constexpr std::wstring_view finishedMessage = L"Finished removing Halvoran OCX files!";
}

void RemovalForm::btnRemoveClick() {
    guarded([&] {
        const Text folderPath = templateFolder(installDrive_);
        FileSystemComponent& fileSystem = requireFileSystem();

        // Any user may plant a link on the way to the template folder, and
        // deleting through one would delete another folder's files with our
        // rights. So the folders are checked and pinned before anything
        // else touches the path, stay pinned until the last file is gone,
        // and each file is confirmed right before it goes.
        {
            const std::unique_ptr<PinnedFolderPath> pinned = platform_.pinFolderPath(folderPath);
            // Only the files directly in the template folder; its subfolders
            // and the folder itself stay. No administrator test for these.
            const std::unique_ptr<FileSystemFolder> folder = fileSystem.GetFolder(folderPath);
            for (const Text& file : folder->files()) {
                pinned->confirmFile(file);
                fileSystem.DeleteFile(file, true);
            }
        }

        // The Windows directory's files go only for an administrator. The
        // test is asked afresh, and only for a file that exists.
        const std::array<Text, 3> windowsFiles = {
            downloadDirectory(windowsDirectory_) + Text(TargetIdentifiers::controlFileName),
            windowsDirectory_ + Text(TargetIdentifiers::firstTemplateFileTail),
            windowsDirectory_ + Text(TargetIdentifiers::secondTemplateFileTail),
        };
        for (const Text& path : windowsFiles) {
            if (!fileSystem.FileExists(path)) {
                continue;
            }
            if (platform_.isAdministrator() == 0) {
                continue;
            }
            fileSystem.DeleteFile(path, true);
        }

        clearRegistry();
        platform_.showMessage(Text(finishedMessage));
    });
}

}  // namespace stravik
