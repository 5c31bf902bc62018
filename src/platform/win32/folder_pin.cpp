#include "platform/win32/folder_pin.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "platform/folder_names.h"
#include "platform/link_refusal.h"
#include "platform/scope_exit.h"
#include "platform/win32/error_info.h"
#include "platform/win32/folder_identity.h"
#include "platform/windows_path.h"

namespace stravik::win32 {

namespace {

// Never through a link: the handle stands for the link itself where the
// file system can do that.
constexpr DWORD withoutFollowingLinks = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Held: the access must include reading the folder, because an open for
// attributes only takes no part in share checks. Others may read and
// write, but not delete, rename or move it. A folder that is not there is
// "Path not found", whichever of file or path the system says is missing.
constexpr DWORD heldAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD heldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

void raiseOpenError(DWORD error) {
    raiseWindowsError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
}

UniqueFile openHeld(const NativeFileCalls& calls, const Text& path) {
    UniqueFile folder;
    const DWORD error =
        calls.openPath(path, heldAccess, heldSharing, withoutFollowingLinks, folder);
    if (error != ERROR_SUCCESS) {
        raiseOpenError(error);
    }
    return folder;
}

// The same, by its name alone inside its held parent: nothing above it is
// looked up again.
UniqueFile openHeldIn(const NativeFileCalls& calls, HANDLE parent, const Text& name) {
    UniqueFile folder;
    const NTSTATUS status = calls.open(parent, name, heldAccess, 0, heldSharing, folder);
    if (!NT_SUCCESS(status)) {
        raiseOpenError(windowsErrorOf(status));
    }
    return folder;
}

// `folder`, opened at `path` as `component` of the held `parent`, checked:
// not a link of any kind (75 naming `path`); where the system names final
// paths, its final path `finalPath` followed by its name as the held parent
// lists it, which `finalPath` becomes; a folder (76 when it is not).
UniqueFile checkedFolder(const NativeFileCalls& calls, HANDLE parent, const Text& component,
                         const Text& path, std::optional<Text>& finalPath, UniqueFile folder) {
    const DWORD attributes =
        queried<FILE_BASIC_INFORMATION>(calls, folder.get(), FileBasicInformation).FileAttributes;
    if (isLink(attributes, path)) {
        throw folderIsALink(path);
    }
    if (finalPath) {
        const std::optional<Text> listed = listedName(calls, parent, component);
        if (!listed) {
            throw folderIsALink(path);
        }
        *finalPath += L"\\" + *listed;
        confirmFinalPath(calls, folder.get(), *finalPath, path);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        raiseClassicError(classic::pathNotFound);
    }
    return folder;
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        raiseLastError();
    }
    return information;
}

// Deleting needs delete access to the file, which its folder's
// delete-child access grants too; reading attributes comes with listing
// the folder. Nothing more is asked, so that what Explorer could delete,
// this deletes.
constexpr ACCESS_MASK accessToDelete = DELETE | FILE_READ_ATTRIBUTES;

class HeldFolderPath final : public PinnedFolderPath {
public:
    // `held` runs down to the folder at `heldPath`, whose root and names
    // `split` gives: from the drive's root, or, in a pin made within
    // another, from the first folder below that one's; `backup`, when
    // given, is `calls`.
    HeldFolderPath(const NativeFileCalls& calls, std::unique_ptr<BackupFileCalls> backup,
                   const Text& folderPath, WindowsPath split, std::vector<UniqueFile> held,
                   Text heldPath, std::optional<Text> finalPath)
        : backup_(std::move(backup)),
          calls_(calls),
          folderPrefix_(folderPrefixOf(folderPath)),
          split_(std::move(split)),
          held_(std::move(held)),
          heldPath_(std::move(heldPath)),
          finalPath_(std::move(finalPath)),
          names_(calls) {
        index_ = static_cast<ULONGLONG>(
            queried<FILE_INTERNAL_INFORMATION>(calls_, folder(), FileInternalInformation)
                .IndexNumber.QuadPart);
        if (!finalPath_) {
            volumeSerial_ = informationOf(folder()).dwVolumeSerialNumber;
        }
        // The folder's own name from the volume's root; a file opened in it
        // must carry this name followed by its own.
        folderName_ = names_.of(folder());
        if (folderName_.empty() || folderName_.back() != L'\\') {
            folderName_ += L'\\';
        }
    }

    // Read from the held folder itself, never by its path again. Names of
    // any length come through whole, in the order the file system keeps
    // them, which is the order the component would give.
    std::vector<Text> files() override {
        std::vector<Text> paths;
        shortNames_.clear();
        for (const DirectoryEntry& entry : DirectoryEntries(calls_, folder())) {
            if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                paths.push_back(folderPrefix_ + Text(entry.name));
                if (!entry.shortName.empty()) {
                    shortNames_.emplace(entry.name, entry.shortName);
                }
            }
        }
        return paths;
    }

    std::vector<FolderEntry> folders() override {
        std::vector<FolderEntry> entries;
        constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        for (const DirectoryEntry& entry : DirectoryEntries(calls_, folder())) {
            if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && entry.name != L"." &&
                entry.name != L"..") {
                entries.push_back(
                    {Text(entry.name), (entry.attributes & hiddenAndSystem) == hiddenAndSystem});
            }
        }
        return entries;
    }

    // Here or on the way: a pin made within another counts that one's.
    bool usedBackupPrivileges() const override {
        return usedAbove_ || (backup_ && backup_->used());
    }

    // Each folder below this one opened by its name alone inside its held
    // parent, the first inside this one, and checked as a pin checks it,
    // its final path continuing this one's. Only a path that names this
    // folder exactly as it was asked for goes on from it.
    std::unique_ptr<PinnedFolderPath> pinWithin(const Text& folderPath) override {
        std::optional<WindowsPath> split = splitWindowsPath(folderPath);
        const std::size_t depth = split_.components.size();
        if (!split || split->root != split_.root || split->components.size() <= depth ||
            !std::equal(split_.components.begin(), split_.components.end(),
                        split->components.begin())) {
            return nullptr;
        }
        auto backup = backup_ ? std::make_unique<BackupFileCalls>(backup_->inner()) : nullptr;
        const NativeFileCalls& calls = backup ? *backup : calls_;
        Text path = split_.root;
        for (const Text& component : split_.components) {
            path += L"\\" + component;
        }
        std::optional<Text> finalPath = finalPath_;
        std::vector<UniqueFile> held;
        for (std::size_t level = depth; level < split->components.size(); ++level) {
            const Text& component = split->components[level];
            const HANDLE parent = held.empty() ? folder() : held.back().get();
            path += L"\\" + component;
            held.push_back(checkedFolder(calls, parent, component, path, finalPath,
                                         openHeldIn(calls, parent, component)));
        }
        auto pinned = std::make_unique<HeldFolderPath>(calls, std::move(backup), folderPath,
                                                       std::move(*split), std::move(held), path,
                                                       std::move(finalPath));
        pinned->usedAbove_ = usedBackupPrivileges();
        return pinned;
    }

    // Opened inside the held folder, checked on that open file, deleted
    // through it. A failure is said as the folder's replacement when its
    // path no longer leads to it: Wine opens a name in a held folder
    // through the folder's path, and answers as it can (an invalid handle)
    // when a Unix process moved a folder on the way, which no Windows
    // program can do to a held folder.
    bool deleteFile(const Text& filePath) override {
        try {
            return deleteEntry(filePath);
        } catch (const RaisedError&) {
            confirmUnchanged();
            throw;
        }
    }

    // The folder its path reaches now must still be the held one: the same
    // file index, and the same final path, which names the volume too.
    void confirmUnchanged() override {
        UniqueFile now;
        if (calls_.openPath(heldPath_, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            withoutFollowingLinks, now) != ERROR_SUCCESS) {
            throw folderWasReplaced(heldPath_);
        }
        const auto basic = queried<FILE_BASIC_INFORMATION>(calls_, now.get(), FileBasicInformation);
        if (isLink(basic.FileAttributes, heldPath_)) {
            throw folderIsALink(heldPath_);
        }
        if (finalPath_) {
            confirmFinalPath(calls_, now.get(), *finalPath_, heldPath_);
        }
        const auto index =
            queried<FILE_INTERNAL_INFORMATION>(calls_, now.get(), FileInternalInformation);
        if (static_cast<ULONGLONG>(index.IndexNumber.QuadPart) != index_ ||
            (!finalPath_ && informationOf(now.get()).dwVolumeSerialNumber != volumeSerial_)) {
            throw folderWasReplaced(heldPath_);
        }
    }

private:
    HANDLE folder() const { return held_.back().get(); }

    bool deleteEntry(const Text& filePath) {
        const Text name = nameInFolder(folderPrefix_, filePath);
        Opening opening = openEntry(name, filePath);
        if (opening.status == statusDeletePending) {
            return true;  // another program deleted it; it goes when that one lets go
        }
        // A network file system may say "not found" of a name it holds.
        if (isNotFound(opening.status) && !listedName(calls_, folder(), name)) {
            return false;  // gone already, which is all that is wanted of it
        }
        throwIfFailed(opening.status);
        FileInFolder& file = *opening.file;
        confirmIsTheEntry(file, name, filePath);
        const DWORD attributes = file.attributes();
        if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            file.markForDeletion();
        } else {
            deleteReadOnly(file, attributes, filePath);
        }
        return true;  // gone when its handle closes, here
    }

    // By its name; a name that only Wine lists, by its short name.
    Opening openEntry(const Text& name, const Text& filePath) const {
        const auto shortName = shortNames_.find(name);
        const bool hasShortName = shortName != shortNames_.end();
        if (wineOnly::isPathLike(name)) {
            if (!hasShortName) {
                throw notAFileOfTheFolder(filePath);
            }
            return openInFolder(calls_, folder(), shortName->second, accessToDelete);
        }
        Opening opening = openInFolder(calls_, folder(), name, accessToDelete);
        if (hasShortName && wineOnly::opensOnlyByShortName(opening.status)) {
            return openInFolder(calls_, folder(), shortName->second, accessToDelete);
        }
        return opening;
    }

    // A file, not a folder; named as the folder's entry, not as what a link
    // led to; with no other name, whose read-only attribute it shares.
    void confirmIsTheEntry(const FileInFolder& file, const Text& name, const Text& filePath) {
        const auto standard =
            queried<FILE_STANDARD_INFORMATION>(calls_, file.handle(), FileStandardInformation);
        if (standard.Directory) {
            throw notAFileOfTheFolder(filePath);
        }
        // Windows opens a link as itself; Wine follows a Unix symbolic
        // link. Wine also names an open file through its folder's path,
        // though it opened it through the folder's handle, so a folder that
        // a Unix process swapped shows here too.
        if (!namesTheEntry(names_.of(file.handle()), folderName_ + name)) {
            confirmUnchanged();  // which says so when the folder was swapped
            throw fileIsALink(filePath);
        }
        if (standard.NumberOfLinks > 1) {
            throw fileHasOtherNames(filePath);
        }
    }

    // Its attribute cleared through a second open for writing attributes,
    // which only the file's own access list can grant, once that open is
    // known to be the same file; put back should the deletion fail.
    void deleteReadOnly(FileInFolder& file, DWORD attributes, const Text& filePath) {
        Opening writable = file.reopened(FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
        throwIfFailed(writable.status);
        if (writable.file->index() != file.index()) {
            confirmUnchanged();
            throw fileWasReplaced(filePath);
        }
        writable.file->setAttributes(attributes & ~FILE_ATTRIBUTE_READONLY);
        auto restore = scopeExit([&] { writable.file->setAttributes(attributes); });
        file.markForDeletion();
        restore.release();
    }

    std::unique_ptr<BackupFileCalls> backup_;  // the calls, where the pin may use privileges
    bool usedAbove_ = false;                   // by the pin this one was made within
    const NativeFileCalls& calls_;
    Text folderPrefix_;              // the folder's path as asked for, with its separator
    WindowsPath split_;              // the folder's root and names
    std::vector<UniqueFile> held_;   // from the drive's root, or the pin's it was made within
    Text heldPath_;                  // the folder's path as held, without "." or ".."
    std::optional<Text> finalPath_;  // where the system can say
    ULONGLONG index_ = 0;            // the folder's file index
    DWORD volumeSerial_ = 0;         // checked where there is no final path
    OpenNames names_;
    Text folderName_;                  // from the volume's root, with its separator
    std::map<Text, Text> shortNames_;  // of the files listed, where they have one
};

// Held through `calls`, which is `backup` when that is given.
std::unique_ptr<PinnedFolderPath> hold(const Text& folderPath, const NativeFileCalls& calls,
                                       std::unique_ptr<BackupFileCalls> backup) {
    const std::optional<WindowsPath> split = splitWindowsPath(folderPath);
    if (!split) {
        raiseClassicError(classic::pathNotFound);
    }
    // The drive's root, or the share's, is held too: a mapped drive's root
    // is a folder elsewhere that could otherwise be renamed away.
    Text path = split->root;
    std::vector<UniqueFile> held;
    held.push_back(openHeld(calls, path + L"\\"));
    // A mapped drive's final paths start with what it maps to, not with its
    // letter, and a share's with its server's name for it; each folder's
    // must continue its parent's by its own name as the held parent lists
    // it.
    std::optional<Text> finalPath = finalPathOf(calls, held.back().get());
    for (const Text& component : split->components) {
        path += L"\\" + component;
        const HANDLE parent = held.back().get();
        held.push_back(
            checkedFolder(calls, parent, component, path, finalPath, openHeld(calls, path)));
    }
    Text heldPath = split->components.empty() ? path + L"\\" : path;
    return std::make_unique<HeldFolderPath>(calls, std::move(backup), folderPath, std::move(*split),
                                            std::move(held), std::move(heldPath),
                                            std::move(finalPath));
}

}  // namespace

std::unique_ptr<PinnedFolderPath> holdFolderPath(const Text& folderPath,
                                                 const NativeFileCalls& calls) {
    return hold(folderPath, calls, nullptr);
}

std::unique_ptr<PinnedFolderPath> holdFolderPathAsBackup(const Text& folderPath,
                                                         const NativeFileCalls& calls) {
    auto backup = std::make_unique<BackupFileCalls>(calls);
    const NativeFileCalls& backupCalls = *backup;
    return hold(folderPath, backupCalls, std::move(backup));
}

}  // namespace stravik::win32
