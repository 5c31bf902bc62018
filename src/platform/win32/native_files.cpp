#include "platform/win32/native_files.h"

#include "platform/classic_errors.h"
#include "platform/win32/error_info.h"
#include "platform/win32/system_libraries.h"

namespace stravik::win32 {

namespace {

// winternl.h leaves out the directory query.
using NtQueryDirectoryFileFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                      PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      FILE_INFORMATION_CLASS, BOOLEAN,
                                                      PUNICODE_STRING, BOOLEAN);
using GetFinalPathNameByHandleFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

struct EntryPoints {
    decltype(&::NtCreateFile) createFile;
    NtQueryDirectoryFileFunction queryDirectory;
    decltype(&::NtQueryInformationFile) queryInformation;
    decltype(&::NtSetInformationFile) setInformation;
    decltype(&::RtlNtStatusToDosError) toWindowsError;
    GetFinalPathNameByHandleFunction getFinalPath;  // null before Vista
};

const EntryPoints& entryPoints() {
    static const EntryPoints entries{
        loadedEntryPoint<decltype(&::NtCreateFile)>(L"ntdll.dll", "NtCreateFile"),
        loadedEntryPoint<NtQueryDirectoryFileFunction>(L"ntdll.dll", "NtQueryDirectoryFile"),
        loadedEntryPoint<decltype(&::NtQueryInformationFile)>(L"ntdll.dll",
                                                              "NtQueryInformationFile"),
        loadedEntryPoint<decltype(&::NtSetInformationFile)>(L"ntdll.dll", "NtSetInformationFile"),
        loadedEntryPoint<decltype(&::RtlNtStatusToDosError)>(L"ntdll.dll", "RtlNtStatusToDosError"),
        loadedEntryPoint<GetFinalPathNameByHandleFunction>(L"kernel32.dll",
                                                           "GetFinalPathNameByHandleW"),
    };
    if (!entries.createFile || !entries.queryDirectory || !entries.queryInformation ||
        !entries.setInformation || !entries.toWindowsError) {
        throw RaisedError(classic::entryPointNotFound,
                          L"Can't find DLL entry point NtCreateFile in ntdll");
    }
    return entries;
}

// A counted string that views `text`, which must outlive it.
UNICODE_STRING countedString(const Text& text) {
    UNICODE_STRING counted{};
    counted.Buffer = const_cast<wchar_t*>(text.data());
    counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

}  // namespace

DWORD NativeFileCalls::openPath(const Text& path, DWORD access, DWORD share, DWORD flags,
                                UniqueFile& file) const {
    file.reset(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
}

NTSTATUS NativeFileCalls::open(HANDLE folder, const Text& name, ACCESS_MASK access, ULONG options,
                               ULONG share, UniqueFile& file) const {
    UNICODE_STRING objectName = countedString(name);
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK ioStatus{};
    HANDLE handle = nullptr;
    const NTSTATUS status = entryPoints().createFile(
        &handle, access | SYNCHRONIZE, &attributes, &ioStatus, nullptr, 0, share, FILE_OPEN,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (NT_SUCCESS(status)) {
        file.reset(handle);
    }
    return status;
}

NTSTATUS NativeFileCalls::query(HANDLE file, void* information, ULONG size,
                                FILE_INFORMATION_CLASS kind) const {
    IO_STATUS_BLOCK ioStatus{};
    return entryPoints().queryInformation(file, &ioStatus, information, size, kind);
}

NTSTATUS NativeFileCalls::set(HANDLE file, void* information, ULONG size,
                              FILE_INFORMATION_CLASS kind) const {
    IO_STATUS_BLOCK ioStatus{};
    return entryPoints().setInformation(file, &ioStatus, information, size, kind);
}

NTSTATUS NativeFileCalls::list(HANDLE folder, void* buffer, ULONG size, const Text* pattern,
                               bool restart) const {
    IO_STATUS_BLOCK ioStatus{};
    UNICODE_STRING counted = pattern ? countedString(*pattern) : UNICODE_STRING{};
    return entryPoints().queryDirectory(folder, nullptr, nullptr, nullptr, &ioStatus, buffer, size,
                                        FileBothDirectoryInformation, FALSE,
                                        pattern ? &counted : nullptr, restart);
}

DWORD NativeFileCalls::finalPath(HANDLE handle, Text& path) const {
    const GetFinalPathNameByHandleFunction getFinalPath = entryPoints().getFinalPath;
    if (getFinalPath == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            getFinalPath(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (length == 0) {
            return GetLastError();
        }
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            return ERROR_SUCCESS;
        }
        buffer.resize(length);
    }
}

std::optional<PrivilegeState> NativeFileCalls::enableBackupPrivileges() const {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        return std::nullopt;
    }
    const UniqueHandle token(opened);
    PrivilegeState wanted{2, {}};
    for (int index = 0; index < 2; ++index) {
        if (!LookupPrivilegeValueW(nullptr, index == 0 ? SE_BACKUP_NAME : SE_RESTORE_NAME,
                                   &wanted.privileges[index].Luid)) {
            return std::nullopt;
        }
        wanted.privileges[index].Attributes = SE_PRIVILEGE_ENABLED;
    }
    PrivilegeState previous;
    DWORD length = 0;
    const BOOL adjusted = AdjustTokenPrivileges(
        token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), sizeof previous,
        reinterpret_cast<TOKEN_PRIVILEGES*>(&previous), &length);
    // Not held, both or one: whatever one changed is put back.
    if (!adjusted || GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        if (adjusted) {
            restorePrivileges(previous);
        }
        return std::nullopt;
    }
    return previous;
}

void NativeFileCalls::restorePrivileges(const PrivilegeState& previous) const {
    HANDLE opened = nullptr;
    if (previous.count == 0 ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &opened)) {
        return;
    }
    const UniqueHandle token(opened);
    PrivilegeState state = previous;
    AdjustTokenPrivileges(token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&state), 0,
                          nullptr, nullptr);
}

template <typename Status, typename Open>
Status BackupFileCalls::retried(Status denied, Status success, const Open& open) const {
    const std::optional<PrivilegeState> previous = inner_.enableBackupPrivileges();
    if (!previous) {
        return denied;
    }
    const Status status = open();
    inner_.restorePrivileges(*previous);
    used_ = used_ || status == success;
    return status;
}

// CreateFileW opens with backup intent whenever it is asked for backup
// semantics, which opening a folder needs anyway.
DWORD BackupFileCalls::openPath(const Text& path, DWORD access, DWORD share, DWORD flags,
                                UniqueFile& file) const {
    const DWORD error = inner_.openPath(path, access, share, flags, file);
    if (error != ERROR_ACCESS_DENIED) {
        return error;
    }
    return retried<DWORD>(error, ERROR_SUCCESS, [&] {
        return inner_.openPath(path, access, share, flags | FILE_FLAG_BACKUP_SEMANTICS, file);
    });
}

NTSTATUS BackupFileCalls::open(HANDLE folder, const Text& name, ACCESS_MASK access, ULONG options,
                               ULONG share, UniqueFile& file) const {
    const NTSTATUS status = inner_.open(folder, name, access, options, share, file);
    if (status != statusAccessDenied) {
        return status;
    }
    return retried<NTSTATUS>(status, 0, [&] {
        return inner_.open(folder, name, access, options | FILE_OPEN_FOR_BACKUP_INTENT, share,
                           file);
    });
}

const NativeFileCalls& nativeFileCalls() {
    static const NativeFileCalls calls;
    entryPoints();
    return calls;
}

DWORD windowsErrorOf(NTSTATUS status) { return entryPoints().toWindowsError(status); }

void throwIfFailed(NTSTATUS status) {
    if (!NT_SUCCESS(status)) {
        raiseWindowsError(windowsErrorOf(status));
    }
}

Opening FileInFolder::reopened(ACCESS_MASK access) const {
    return openInFolder(*calls_, folder_, name_, access);
}

ULONGLONG FileInFolder::index() const {
    const auto internal =
        queried<FILE_INTERNAL_INFORMATION>(*calls_, handle(), FileInternalInformation);
    return static_cast<ULONGLONG>(internal.IndexNumber.QuadPart);
}

DWORD FileInFolder::attributes() const {
    return queried<FILE_BASIC_INFORMATION>(*calls_, handle(), FileBasicInformation).FileAttributes;
}

void FileInFolder::setAttributes(DWORD attributes) {
    FILE_BASIC_INFORMATION basic{};  // zero times: left as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    set(&basic, sizeof basic, FileBasicInformation);
}

void FileInFolder::markForDeletion() {
    FILE_DISPOSITION_INFORMATION disposition{};
    disposition.DoDeleteFile = TRUE;
    set(&disposition, sizeof disposition, FileDispositionInformation);
}

void FileInFolder::set(void* information, ULONG size, FILE_INFORMATION_CLASS kind) {
    throwIfFailed(calls_->set(handle(), information, size, kind));
}

Opening openInFolder(const NativeFileCalls& calls, HANDLE folder, const Text& name,
                     ACCESS_MASK access) {
    UniqueFile handle;
    const NTSTATUS status = calls.open(folder, name, access, 0, shareEverything, handle);
    if (!NT_SUCCESS(status)) {
        return {status, std::nullopt};
    }
    return {status, FileInFolder(calls, folder, name, std::move(handle))};
}

// An empty name relative to a handle opens what the handle stands for.
UniqueFile reopenedForListing(const NativeFileCalls& calls, HANDLE folder) {
    UniqueFile listing;
    throwIfFailed(calls.open(folder, Text(), FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE,
                             shareEverything, listing));
    return listing;
}

Text OpenNames::of(HANDLE handle) {
    if (buffer_.empty()) {
        buffer_.resize((sizeof(FILE_NAME_INFORMATION) + 32768 * sizeof(WCHAR)) / sizeof(ULONG) + 1);
    }
    throwIfFailed(calls_->query(handle, buffer_.data(),
                                static_cast<ULONG>(buffer_.size() * sizeof(ULONG)),
                                FileNameInformation));
    const auto& name = *reinterpret_cast<const FILE_NAME_INFORMATION*>(buffer_.data());
    return Text(name.FileName, name.FileNameLength / sizeof(WCHAR));
}

DirectoryEntries::Iterator DirectoryEntries::begin() {
    finished_ = !readBatch(true);
    if (!finished_) {
        takeEntryAt(0);
    }
    return Iterator(*this);
}

// False when the folder has no more entries (or, with a pattern, none).
bool DirectoryEntries::readBatch(bool restart) {
    if (buffer_.empty()) {
        buffer_.resize(64 * 1024 / sizeof(ULONGLONG));
    }
    const NTSTATUS status =
        calls_->list(folder_, buffer_.data(),
                     static_cast<ULONG>(buffer_.size() * sizeof(ULONGLONG)), pattern_, restart);
    if (status == statusNoMoreFiles || status == statusNoSuchFile) {
        return false;
    }
    throwIfFailed(status);
    return true;
}

void DirectoryEntries::advance() {
    if (nextOffset_ != 0) {
        takeEntryAt(offset_ + nextOffset_);
    } else if (readBatch(false)) {
        takeEntryAt(0);
    } else {
        finished_ = true;
    }
}

void DirectoryEntries::takeEntryAt(std::size_t offset) {
    offset_ = offset;
    const auto& entry = *reinterpret_cast<const FILE_BOTH_DIR_INFORMATION*>(
        reinterpret_cast<const std::byte*>(buffer_.data()) + offset);
    current_.name = std::wstring_view(entry.FileName, entry.FileNameLength / sizeof(WCHAR));
    current_.shortName = std::wstring_view(
        entry.ShortName, static_cast<std::size_t>(entry.ShortNameLength) / sizeof(WCHAR));
    current_.attributes = entry.FileAttributes;
    nextOffset_ = entry.NextEntryOffset;
}

}  // namespace stravik::win32
