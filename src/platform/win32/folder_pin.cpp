#include "platform/win32/folder_pin.h"

#include <winternl.h>

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/folder_names.h"
#include "platform/link_refusal.h"
#include "platform/scope_exit.h"
#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"
#include "platform/windows_path.h"

namespace stravik::win32 {

namespace {

using GetFinalPathNameByHandleFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// Null before Vista; the held handles then decide alone.
GetFinalPathNameByHandleFunction getFinalPathNameByHandle() {
    static const auto function = loadedEntryPoint<GetFinalPathNameByHandleFunction>(
        L"kernel32.dll", "GetFinalPathNameByHandleW");
    return function;
}

// Never through a link: the handle stands for the link itself where the
// file system can do that.
constexpr DWORD withoutFollowingLinks = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Held: the access must include reading the folder, because an open for
// attributes only takes no part in share checks. Others may read and
// write, but not delete, rename or move it. A folder that is not there is
// "Path not found", whichever of file or path the system says is missing.
UniqueFile openHeld(const Text& path) {
    UniqueFile folder(CreateFileW(path.c_str(),
                                  FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  withoutFollowingLinks, nullptr));
    if (!folder) {
        const DWORD error = GetLastError();
        raiseWindowsError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
    }
    return folder;
}

bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        raiseLastError();
    }
    return information;
}

// The native calls through which a file is opened inside a held folder by
// its name alone, checked and deleted through that one handle. ntdll has
// exported them since Windows NT 4; they are looked up at run time, as the
// system's own libraries do not import them.
// (winternl.h leaves out the directory query.)
using NtQueryDirectoryFileFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                      PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      FILE_INFORMATION_CLASS, BOOLEAN,
                                                      PUNICODE_STRING, BOOLEAN);
constexpr NTSTATUS statusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);

struct NativeFileCalls {
    decltype(&::NtCreateFile) createFile;
    NtQueryDirectoryFileFunction queryDirectory;
    decltype(&::NtQueryInformationFile) queryInformation;
    decltype(&::NtSetInformationFile) setInformation;
    decltype(&::RtlNtStatusToDosError) toWindowsError;
};

const NativeFileCalls& nativeFileCalls() {
    static const NativeFileCalls calls{
        loadedEntryPoint<decltype(&::NtCreateFile)>(L"ntdll.dll", "NtCreateFile"),
        loadedEntryPoint<NtQueryDirectoryFileFunction>(L"ntdll.dll", "NtQueryDirectoryFile"),
        loadedEntryPoint<decltype(&::NtQueryInformationFile)>(L"ntdll.dll",
                                                              "NtQueryInformationFile"),
        loadedEntryPoint<decltype(&::NtSetInformationFile)>(L"ntdll.dll", "NtSetInformationFile"),
        loadedEntryPoint<decltype(&::RtlNtStatusToDosError)>(L"ntdll.dll", "RtlNtStatusToDosError"),
    };
    if (!calls.createFile || !calls.queryDirectory || !calls.queryInformation ||
        !calls.setInformation || !calls.toWindowsError) {
        throw RaisedError(classic::entryPointNotFound,
                          L"Can't find DLL entry point NtCreateFile in ntdll");
    }
    return calls;
}

DWORD windowsErrorFor(NTSTATUS status) { return nativeFileCalls().toWindowsError(status); }

// A native call's failure raised as the Windows error it stands for.
void throwIfFailed(NTSTATUS status) {
    if (!NT_SUCCESS(status)) {
        raiseWindowsError(windowsErrorFor(status));
    }
}

// One class of information about an open file or folder.
template <typename Information>
Information queried(HANDLE handle, FILE_INFORMATION_CLASS kind) {
    Information information{};
    IO_STATUS_BLOCK ioStatus{};
    throwIfFailed(nativeFileCalls().queryInformation(handle, &ioStatus, &information,
                                                     sizeof information, kind));
    return information;
}

// The names of open files and folders, from the volume's root; under Wine
// the name of what a link leads to. Asked apart from the rest, since under
// Wine the name is what costs a round trip to its server. One buffer, with
// room for the longest name a path can hold, serves every query of a pin.
class Names {
public:
    Text of(HANDLE handle) {
        IO_STATUS_BLOCK ioStatus{};
        throwIfFailed(nativeFileCalls().queryInformation(
            handle, &ioStatus, buffer_.data(), static_cast<ULONG>(buffer_.size() * sizeof(ULONG)),
            FileNameInformation));
        const auto& name = *reinterpret_cast<const FILE_NAME_INFORMATION*>(buffer_.data());
        return Text(name.FileName, name.FileNameLength / sizeof(WCHAR));
    }

private:
    // In units of the structure's alignment.
    std::vector<ULONG> buffer_ =
        std::vector<ULONG>((sizeof(FILE_NAME_INFORMATION) + 32768 * sizeof(WCHAR)) / 4 + 1);
};

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link by its handle's attributes (Windows) or by its name's (Wine, where
// the handle follows a Unix symbolic link).
bool isLink(DWORD handleAttributes, const Text& path) {
    return isReparsePoint(handleAttributes) || isReparsePoint(GetFileAttributesW(path.c_str()));
}

// The path the system resolves the handle to, or none where it cannot say.
std::optional<Text> finalPathOf(HANDLE handle) {
    const GetFinalPathNameByHandleFunction getFinalPath = getFinalPathNameByHandle();
    if (getFinalPath == nullptr) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            getFinalPath(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            return Text(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

// Names compare as Windows compares them: without regard to case.
Text upperCase(const Text& text) {
    if (text.empty()) {
        return text;
    }
    Text upper(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), length, upper.data(),
                     length) != length) {
        return text;
    }
    return upper;
}

bool sameName(const Text& one, const Text& other) {
    return one == other || upperCase(one) == upperCase(other);
}

// A name that is a path of its own: Windows allows none in a folder, but
// Wine lists Unix names as they are, and a name such as "..\x" must never
// be looked up as a path.
// (A name no system can have, longer than a counted string can hold, is
// refused with them.)
bool isPathLike(const Text& name) {
    return name.empty() || name == L"." || name == L".." ||
           name.find_first_of(L"\\/") != Text::npos || name.size() > 32767;
}

// Wine leaves trailing dots and spaces out of the names it reports for
// open files; Windows keeps them. Either way the name stays in its folder.
Text withoutTrailingDotsAndSpaces(const Text& name) {
    const std::size_t end = name.find_last_not_of(L". ");
    return end == Text::npos ? Text() : name.substr(0, end + 1);
}

// An open file of the held folder, deleted through its handle only.
class FileOfTheFolder {
public:
    // Opened by its name alone inside `folder`, without following a link,
    // for deleting and for reading and setting its attributes; sharing
    // everything, so that a program holding it without delete sharing
    // makes this open fail. Null when it is not there.
    static std::optional<FileOfTheFolder> open(HANDLE folder, const Text& name) {
        UNICODE_STRING objectName{};
        objectName.Buffer = const_cast<wchar_t*>(name.data());
        objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
        objectName.MaximumLength = objectName.Length;
        OBJECT_ATTRIBUTES attributes{};
        InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
        IO_STATUS_BLOCK ioStatus{};
        HANDLE handle = nullptr;
        const NTSTATUS status = nativeFileCalls().createFile(
            &handle, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
            &attributes, &ioStatus, nullptr, 0,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
            FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
        if (!NT_SUCCESS(status)) {
            const DWORD error = windowsErrorFor(status);
            if (isNotFound(error)) {
                return std::nullopt;
            }
            raiseWindowsError(error);
        }
        return FileOfTheFolder(UniqueFile(handle));
    }

    HANDLE handle() const { return handle_.get(); }

    void setAttributes(DWORD attributes) {
        FILE_BASIC_INFORMATION basic{};  // zero times: left as they are
        basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
        set(&basic, sizeof basic, FileBasicInformation);
    }

    void markForDeletion() {
        FILE_DISPOSITION_INFORMATION disposition{};
        disposition.DoDeleteFile = TRUE;
        set(&disposition, sizeof disposition, FileDispositionInformation);
    }

private:
    explicit FileOfTheFolder(UniqueFile handle) : handle_(std::move(handle)) {}

    void set(void* information, ULONG size, FILE_INFORMATION_CLASS kind) {
        IO_STATUS_BLOCK ioStatus{};
        throwIfFailed(
            nativeFileCalls().setInformation(handle_.get(), &ioStatus, information, size, kind));
    }

    UniqueFile handle_;
};

// The folder `handle` was opened as, by `path`, is the one asked for: not
// a link by its own attributes or its name's, and, where the system can
// say, at the final path that the names asked for lead to.
void confirmFolderAt(HANDLE handle, DWORD attributes, const Text& path,
                     const std::optional<Text>& finalPath) {
    if (isLink(attributes, path)) {
        throw folderIsALink(path);
    }
    if (finalPath) {
        const std::optional<Text> now = finalPathOf(handle);
        if (!now || !sameName(*now, *finalPath)) {
            throw folderIsALink(path);
        }
    }
}

class HeldFolderPath final : public PinnedFolderPath {
public:
    // `held` runs from the drive's root down to the folder at `heldPath`.
    HeldFolderPath(const Text& folderPath, std::vector<UniqueFile> held, Text heldPath,
                   std::optional<Text> finalPath)
        : folderPrefix_(folderPrefixOf(folderPath)),
          held_(std::move(held)),
          heldPath_(std::move(heldPath)),
          finalPath_(std::move(finalPath)) {
        const BY_HANDLE_FILE_INFORMATION information = informationOf(folder());
        index_ =
            (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        volumeSerial_ = information.dwVolumeSerialNumber;
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
        std::vector<ULONGLONG> buffer(64 * 1024 / sizeof(ULONGLONG));
        for (BOOLEAN restart = TRUE;; restart = FALSE) {
            IO_STATUS_BLOCK ioStatus{};
            const NTSTATUS status = nativeFileCalls().queryDirectory(
                folder(), nullptr, nullptr, nullptr, &ioStatus, buffer.data(),
                static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), FileBothDirectoryInformation,
                FALSE, nullptr, restart);
            if (status == statusNoMoreFiles) {
                return paths;
            }
            throwIfFailed(status);
            const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
            for (;;) {
                const auto& entry = *reinterpret_cast<const FILE_BOTH_DIR_INFORMATION*>(bytes);
                if ((entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    const Text name(entry.FileName, entry.FileNameLength / sizeof(WCHAR));
                    paths.push_back(folderPrefix_ + name);
                    if (entry.ShortNameLength > 0) {
                        shortNames_[name] =
                            Text(entry.ShortName,
                                 static_cast<std::size_t>(entry.ShortNameLength) / sizeof(WCHAR));
                    }
                }
                if (entry.NextEntryOffset == 0) {
                    break;
                }
                bytes += entry.NextEntryOffset;
            }
        }
    }

    bool deleteFile(const Text& filePath) override {
        const Text name = nameInFolder(folderPrefix_, filePath);
        std::optional<FileOfTheFolder> file = open(name, filePath);
        if (!file) {
            return false;  // gone already, which is all that is wanted of it
        }
        const auto standard =
            queried<FILE_STANDARD_INFORMATION>(file->handle(), FileStandardInformation);
        if (standard.Directory) {
            throw notAFileOfTheFolder(filePath);
        }
        // Windows opens a link as itself and deletes it as itself; Wine
        // follows a Unix symbolic link, and then the open file's name is
        // that of what it leads to. Wine also resolves the name through the
        // held folder's path rather than its handle, so a folder that a
        // Unix process swapped shows here too.
        const Text openName = names_.of(file->handle());
        if (!sameName(openName, folderName_ + name) &&
            !sameName(withoutTrailingDotsAndSpaces(openName),
                      withoutTrailingDotsAndSpaces(folderName_ + name))) {
            confirmUnchanged();  // which says so when the folder was swapped
            throw fileIsALink(filePath);
        }
        // A file with another name elsewhere is a hard link: clearing its
        // read-only attribute would clear that of every name.
        if (standard.NumberOfLinks > 1) {
            throw fileHasOtherNames(filePath);
        }
        const DWORD attributes =
            queried<FILE_BASIC_INFORMATION>(file->handle(), FileBasicInformation).FileAttributes;
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) {
            file->setAttributes(attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        // Not deleted, it keeps the attribute it had.
        auto restore = scopeExit([&] {
            if (readOnly) {
                file->setAttributes(attributes);
            }
        });
        file->markForDeletion();
        restore.release();
        return true;  // gone when its handle closes, here
    }

    // The folder its path reaches now must still be the held one: the same
    // file index, and the same final path, which names the volume too.
    void confirmUnchanged() override {
        UniqueFile now(CreateFileW(heldPath_.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, withoutFollowingLinks, nullptr));
        if (!now) {
            throw folderWasReplaced(heldPath_);
        }
        const auto basic = queried<FILE_BASIC_INFORMATION>(now.get(), FileBasicInformation);
        confirmFolderAt(now.get(), basic.FileAttributes, heldPath_, finalPath_);
        const auto index = queried<FILE_INTERNAL_INFORMATION>(now.get(), FileInternalInformation);
        if (static_cast<ULONGLONG>(index.IndexNumber.QuadPart) != index_ ||
            (!finalPath_ && informationOf(now.get()).dwVolumeSerialNumber != volumeSerial_)) {
            throw folderWasReplaced(heldPath_);
        }
    }

private:
    HANDLE folder() const { return held_.back().get(); }

    // By its name, or, where the name cannot be looked up as it is (Wine
    // lists Unix names that Windows would not allow), by the short name the
    // listing gave for it. Null when it is gone.
    std::optional<FileOfTheFolder> open(const Text& name, const Text& filePath) const {
        const auto shortName = shortNames_.find(name);
        if (isPathLike(name)) {
            if (shortName == shortNames_.end()) {
                throw notAFileOfTheFolder(filePath);
            }
            return FileOfTheFolder::open(folder(), shortName->second);
        }
        if (shortName == shortNames_.end()) {
            return FileOfTheFolder::open(folder(), name);
        }
        try {
            if (std::optional<FileOfTheFolder> file = FileOfTheFolder::open(folder(), name)) {
                return file;
            }
        } catch (const RaisedError&) {
        }
        return FileOfTheFolder::open(folder(), shortName->second);
    }

    Text folderPrefix_;              // the folder's path as asked for, with its separator
    std::vector<UniqueFile> held_;   // from the drive's root down to the folder
    Text heldPath_;                  // the folder's path as held, without "." or ".."
    std::optional<Text> finalPath_;  // where the system can say
    ULONGLONG index_ = 0;            // the folder's file index
    DWORD volumeSerial_ = 0;         // checked where there is no final path
    Names names_;
    Text folderName_;                  // from the volume's root, with its separator
    std::map<Text, Text> shortNames_;  // of the files listed, where they have one
};

}  // namespace

std::unique_ptr<PinnedFolderPath> holdFolderPath(const Text& folderPath) {
    const std::optional<WindowsPath> split = splitWindowsPath(folderPath);
    if (!split) {
        raiseClassicError(classic::pathNotFound);
    }
    // The drive's root is held too: a mapped drive's root is a folder
    // elsewhere that could otherwise be renamed away.
    Text path{split->drive, L':'};
    std::vector<UniqueFile> held;
    held.push_back(openHeld(path + L"\\"));
    // A mapped drive's final paths start with what it maps to, not with its
    // letter; every folder's must continue the root's by the names asked for.
    std::optional<Text> finalPath = finalPathOf(held.back().get());
    if (finalPath && !finalPath->empty() && isPathSeparator(finalPath->back())) {
        finalPath->pop_back();
    }
    for (const Text& component : split->components) {
        path += L"\\" + component;
        if (finalPath) {
            *finalPath += L"\\" + component;
        }
        UniqueFile folder = openHeld(path);
        const DWORD attributes = informationOf(folder.get()).dwFileAttributes;
        confirmFolderAt(folder.get(), attributes, path, finalPath);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            raiseClassicError(classic::pathNotFound);
        }
        held.push_back(std::move(folder));
    }
    return std::make_unique<HeldFolderPath>(folderPath, std::move(held),
                                            split->components.empty() ? path + L"\\" : path,
                                            std::move(finalPath));
}

}  // namespace stravik::win32
