#pragma once

// The one interface through which the removal logic reaches the machine.
// The operations keep the names and argument shapes of the Windows calls
// they stand for, so the logic reads like the calls it makes on Windows.
// No status result is ever examined by the logic; raised errors travel as
// RaisedError.

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace stravik {

using Text = std::wstring;
// Text in the system's narrow code page, as handed to the registry and
// directory calls. Explicit lengths throughout: embedded NULs are kept.
using NarrowText = std::string;

// A failure as the failing platform operation reported it.
struct ErrorInfo {
    std::int32_t number = 0;
    Text description;
};

// The one exception type: a raised error carrying its ErrorInfo.
class RaisedError : public std::exception {
public:
    explicit RaisedError(ErrorInfo info) : info_(std::move(info)) {}
    RaisedError(std::int32_t number, Text description) : info_{number, std::move(description)} {}
    const ErrorInfo& info() const noexcept { return info_; }
    const char* what() const noexcept override { return "stravik raised error"; }

private:
    ErrorInfo info_;
};

// Predefined registry roots, with the values of the Windows handles.
enum class RegistryRoot : std::uint32_t {
    classesRoot = 0x80000000u,   // HKEY_CLASSES_ROOT
    localMachine = 0x80000002u,  // HKEY_LOCAL_MACHINE
};

// An opened registry key; 0 names no key.
using RegistryHandle = std::uintptr_t;

// The statuses the registry calls return, as Windows numbers them.
namespace registryStatus {
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t fileNotFound = 2;
inline constexpr std::int32_t accessDenied = 5;
inline constexpr std::int32_t invalidHandle = 6;
inline constexpr std::int32_t moreData = 234;
}  // namespace registryStatus

// The file-system component ("Scripting.FileSystemObject"), called by
// member name. Every member raises RaisedError on failure.
class FileSystemComponent {
public:
    virtual ~FileSystemComponent() = default;
    // Asked for its answer only: raises as the component does when the
    // folder or its drive is missing; the folder object is let go.
    virtual void GetFolder(const Text& folderPath) = 0;
    virtual void DeleteFile(const Text& filePath, bool force) = 0;
    virtual bool FileExists(const Text& filePath) = 0;
};

// A folder directly in a pinned folder.
struct FolderEntry {
    Text name;
    // Marked both hidden and system, as Windows marks the folders of its
    // own on a volume ("System Volume Information", "$RECYCLE.BIN").
    bool hiddenAndSystem = false;
};

// The folders from a drive's root (or a share's, "\\server\share") down
// to one folder, checked and held so that none of them can be renamed,
// moved, deleted or replaced while files in the last one are deleted.
// Destroying it releases them.
class PinnedFolderPath {
public:
    virtual ~PinnedFolderPath() = default;
    // The paths of the files directly in the pinned folder, read from the
    // held folder itself: its path followed by each name, whatever the
    // name's length, in the file system's order.
    virtual std::vector<Text> files() = 0;
    // The folders directly in the pinned folder, read from the held folder
    // itself, in the file system's order; a link to a folder among them.
    virtual std::vector<FolderEntry> folders() = 0;
    // Deletes `filePath`, one of `files()`, through the held folder: the
    // file is opened by its name alone inside the held folder, never
    // through a link, checked on that open file, its read-only attribute
    // cleared, and deleted through it, so that what is checked is exactly
    // what is deleted, whatever the name's length. Raises 75 naming it when
    // it is not a file, when the system followed a link to reach it, or
    // when it has a second name (a forced deletion clears the read-only
    // attribute that all names share), before changing it. Returns false
    // when it was already gone (its folder no longer lists it); a file
    // whose deletion another program has begun counts as deleted.
    virtual bool deleteFile(const Text& filePath) = 0;
    // After the last file: raises 75 when the pinned folder's path no
    // longer leads to the held folder (it was moved aside while its files
    // were deleted, and something else put in its place).
    virtual void confirmUnchanged() = 0;
    // Whether an open went through only with the backup and restore
    // privileges (pinFolderPathAsBackup).
    virtual bool usedBackupPrivileges() const { return false; }
    // `folderPath`, a folder below the pinned one (its path as asked for,
    // followed by more names), pinned as the pinned folder was but from
    // it: only the folders below it are opened, from its held folder, and
    // checked. This pin must outlive the one returned, which holds only
    // those folders, and which says it used the privileges when this one
    // did. Null where it cannot (elsewhere, or where there is no such
    // thing): pin it afresh.
    virtual std::unique_ptr<PinnedFolderPath> pinWithin(const Text& folderPath) {
        static_cast<void>(folderPath);
        return nullptr;
    }
};

class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    // Conversions between Text and the system's narrow code page. They keep
    // every character, an embedded terminator included.
    virtual NarrowText narrow(const Text& text) = 0;
    virtual Text widen(const NarrowText& text) = 0;

    // Registry. `key` must be 0 on entry and stays 0 when nothing opens.
    virtual std::int32_t RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                                     RegistryHandle& key) = 0;
    // On success the value's bytes go to the start of `data`, the rest of it
    // untouched; on any failure `data` is left exactly as it was.
    virtual std::int32_t RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                          std::uint32_t reserved, std::uint32_t& type,
                                          std::span<char> data, std::uint32_t& dataLength) = 0;
    virtual std::int32_t RegCloseKey(RegistryHandle key) = 0;
    virtual std::int32_t SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) = 0;
    virtual std::int32_t SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                        const NarrowText& valueName) = 0;

    // Writes the directory and its terminator to the start of `buffer` when
    // both fit in buffer.size() characters; otherwise writes nothing.
    virtual std::uint32_t GetWindowsDirectoryA(std::span<char> buffer) = 0;

    // The shell's administrator test (shell32 ordinal 680), asked afresh.
    virtual std::int32_t isAdministrator() = 0;

    // Creates a component by programmatic identifier; raises when it is
    // not available.
    virtual std::unique_ptr<FileSystemComponent> createObject(const Text& programmaticId) = 0;

    // Checks, without following links, every folder from the drive's root
    // down to `folderPath` ("X:\a\b\", or "\\server\share\a\b\" from
    // the share's root), and pins them. Raises 75 naming the first that is
    // a link of any kind, 76 when one is missing.
    virtual std::unique_ptr<PinnedFolderPath> pinFolderPath(const Text& folderPath) = 0;
    // As pinFolderPath, for an administrator emptying other users' folders:
    // where a system keeps access lists, an open that the account is
    // denied is tried once more with the backup and restore privileges
    // when the account holds them, as backup programs read and restore
    // what they cannot otherwise open; neither ownership nor an access
    // list changes. Where there are none, the same as pinFolderPath.
    virtual std::unique_ptr<PinnedFolderPath> pinFolderPathAsBackup(const Text& folderPath) {
        return pinFolderPath(folderPath);
    }

    // Asked when `filePath` could not be deleted: when another program
    // holds it open or has it loaded, has it deleted at the next restart
    // and returns true; returns false for any other cause. Raises when the
    // deletion cannot be scheduled (that needs an administrator).
    virtual bool scheduleDeletionIfInUse(const Text& filePath) = 0;

    // A modal message box: the text, an OK button, no icon, caption "Stravik".
    virtual void showMessage(const Text& text) = 0;

    // Window layer requests from the exit sequence.
    virtual void unloadWindow() = 0;
    // Ends the program at once: no further event reaches the window, the
    // terminate handler included.
    virtual void endProgram() = 0;
};

}  // namespace stravik
