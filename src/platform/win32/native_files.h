#pragma once

// The native calls through which the folder pin works inside a held
// folder, with owners and an iterator around them: ntdll's relative opens,
// information queries and directory listing, and the final path of a
// handle. ntdll has exported its calls since Windows NT 4; they are looked
// up at run time, as the system's own libraries do not import them.

#include <winternl.h>

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/platform_services.h"
#include "platform/win32/handles.h"

namespace stravik::win32 {

// The statuses the pin tells apart (ntstatus.h does not go beside
// windows.h as this program includes it).
inline constexpr NTSTATUS statusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
inline constexpr NTSTATUS statusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
inline constexpr NTSTATUS statusObjectNameInvalid = static_cast<NTSTATUS>(0xC0000033);
inline constexpr NTSTATUS statusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
inline constexpr NTSTATUS statusObjectPathNotFound = static_cast<NTSTATUS>(0xC000003A);
inline constexpr NTSTATUS statusDeletePending = static_cast<NTSTATUS>(0xC0000056);

inline constexpr NTSTATUS statusAccessDenied = static_cast<NTSTATUS>(0xC0000022);

inline bool isNotFound(NTSTATUS status) {
    return status == statusObjectNameNotFound || status == statusObjectPathNotFound;
}

// The backup and restore privileges as they were before they were
// enabled: what puts them back (TOKEN_PRIVILEGES with room for both).
struct PrivilegeState {
    DWORD count = 0;
    LUID_AND_ATTRIBUTES privileges[2]{};
};

// The native calls the pin makes, one virtual each: the system's, or, in a
// test, answers that Wine cannot give (an access list that refuses a
// right, a network file system's "not found", an account's privileges).
class NativeFileCalls {
public:
    virtual ~NativeFileCalls() = default;
    // CreateFileW: ERROR_SUCCESS and the handle, or the Windows error.
    virtual DWORD openPath(const Text& path, DWORD access, DWORD share, DWORD flags,
                           UniqueFile& file) const;
    // Opens `name` inside `folder` by that name alone, without following a
    // link, sharing what `share` says, for synchronous calls.
    virtual NTSTATUS open(HANDLE folder, const Text& name, ACCESS_MASK access, ULONG options,
                          ULONG share, UniqueFile& file) const;
    virtual NTSTATUS query(HANDLE file, void* information, ULONG size,
                           FILE_INFORMATION_CLASS kind) const;
    virtual NTSTATUS set(HANDLE file, void* information, ULONG size,
                         FILE_INFORMATION_CLASS kind) const;
    // The folder's next entries into `buffer`, or its first with `restart`.
    // A handle keeps the pattern of its first call.
    virtual NTSTATUS list(HANDLE folder, void* buffer, ULONG size, const Text* pattern,
                          bool restart) const;
    // GetFinalPathNameByHandleW: the path the system resolves `handle` to,
    // or the Windows error that says why not (the call is Vista's).
    virtual DWORD finalPath(HANDLE handle, Text& path) const;
    // Enables the backup and restore privileges in the process's token and
    // returns their state before; none, changing nothing, when the token
    // does not hold both.
    virtual std::optional<PrivilegeState> enableBackupPrivileges() const;
    virtual void restorePrivileges(const PrivilegeState& previous) const;
};

// The calls of `inner`, but an open that the account is denied is tried
// once more with the backup and restore privileges enabled and with backup
// intent, as backup programs open what they copy, when the account holds
// them; they are put back as they were right after that one open. Nothing
// takes ownership or changes an access list.
class BackupFileCalls final : public NativeFileCalls {
public:
    explicit BackupFileCalls(const NativeFileCalls& inner) : inner_(inner) {}

    DWORD openPath(const Text& path, DWORD access, DWORD share, DWORD flags,
                   UniqueFile& file) const override;
    NTSTATUS open(HANDLE folder, const Text& name, ACCESS_MASK access, ULONG options, ULONG share,
                  UniqueFile& file) const override;
    NTSTATUS query(HANDLE file, void* information, ULONG size,
                   FILE_INFORMATION_CLASS kind) const override {
        return inner_.query(file, information, size, kind);
    }
    NTSTATUS set(HANDLE file, void* information, ULONG size,
                 FILE_INFORMATION_CLASS kind) const override {
        return inner_.set(file, information, size, kind);
    }
    NTSTATUS list(HANDLE folder, void* buffer, ULONG size, const Text* pattern,
                  bool restart) const override {
        return inner_.list(folder, buffer, size, pattern, restart);
    }
    DWORD finalPath(HANDLE handle, Text& path) const override {
        return inner_.finalPath(handle, path);
    }

    // Whether an open went through only with the privileges.
    bool used() const { return used_; }
    const NativeFileCalls& inner() const { return inner_; }

private:
    // `open` again with the privileges enabled, when the account holds
    // them; `denied` otherwise.
    template <typename Status, typename Open>
    Status retried(Status denied, Status success, const Open& open) const;

    const NativeFileCalls& inner_;
    mutable bool used_ = false;
};

// The system's calls; raises 453 where ntdll lacks one.
const NativeFileCalls& nativeFileCalls();

// The Windows error that a native call's status stands for.
DWORD windowsErrorOf(NTSTATUS status);

// A native call's failure raised as the Windows error it stands for.
void throwIfFailed(NTSTATUS status);

// Every kind of sharing: what a file opened in a held folder allows others.
inline constexpr ULONG shareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One class of information about an open file or folder.
template <typename Information>
Information queried(const NativeFileCalls& calls, HANDLE handle, FILE_INFORMATION_CLASS kind) {
    Information information{};
    throwIfFailed(calls.query(handle, &information, sizeof information, kind));
    return information;
}

struct Opening;

// A file opened inside a held folder by its name, changed through its
// handle only.
class FileInFolder {
public:
    FileInFolder(const NativeFileCalls& calls, HANDLE folder, Text name, UniqueFile handle)
        : calls_(&calls), folder_(folder), name_(std::move(name)), handle_(std::move(handle)) {}

    HANDLE handle() const { return handle_.get(); }
    // Its name opened again in its folder: the same file only while no
    // other has taken that name.
    Opening reopened(ACCESS_MASK access) const;
    // The file's index on its volume: the same file, whatever its name.
    ULONGLONG index() const;
    DWORD attributes() const;
    void setAttributes(DWORD attributes);
    void markForDeletion();

private:
    void set(void* information, ULONG size, FILE_INFORMATION_CLASS kind);

    const NativeFileCalls* calls_;
    HANDLE folder_;
    Text name_;
    UniqueFile handle_;
};

// `name` opened inside `folder` (see NativeFileCalls::open): the status,
// and the file when it opened.
struct Opening {
    NTSTATUS status;
    std::optional<FileInFolder> file;
};
Opening openInFolder(const NativeFileCalls& calls, HANDLE folder, const Text& name,
                     ACCESS_MASK access);

// A second handle of `folder` itself, for listing: its scan and pattern
// are its own.
UniqueFile reopenedForListing(const NativeFileCalls& calls, HANDLE folder);

// The names of open files and folders, from the volume's root; under Wine
// the name of what a link leads to. One buffer, with room for the longest
// name a path can hold, serves every query.
class OpenNames {
public:
    explicit OpenNames(const NativeFileCalls& calls) : calls_(&calls) {}
    Text of(HANDLE handle);

private:
    const NativeFileCalls* calls_;
    std::vector<ULONG> buffer_;  // in units of the structure's alignment
};

// One entry of a folder; the names last until the listing moves on.
struct DirectoryEntry {
    std::wstring_view name;
    std::wstring_view shortName;  // empty when it has none
    ULONG attributes = 0;
};

// The entries of a folder, read batch by batch into one buffer, from the
// first on each time it is walked:
//
//   for (const DirectoryEntry& entry : DirectoryEntries(calls, folder)) ...
//
// With a pattern, only the entries whose long or short name it matches.
class DirectoryEntries {
public:
    DirectoryEntries(const NativeFileCalls& calls, HANDLE folder, const Text* pattern = nullptr)
        : calls_(&calls), folder_(folder), pattern_(pattern) {}

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = DirectoryEntry;
        using difference_type = std::ptrdiff_t;

        explicit Iterator(DirectoryEntries& entries) : entries_(&entries) {}
        const DirectoryEntry& operator*() const { return entries_->current_; }
        const DirectoryEntry* operator->() const { return &entries_->current_; }
        Iterator& operator++() {
            entries_->advance();
            return *this;
        }
        bool operator==(std::default_sentinel_t) const { return entries_->finished_; }

    private:
        DirectoryEntries* entries_;
    };

    Iterator begin();
    std::default_sentinel_t end() const { return {}; }

private:
    bool readBatch(bool restart);
    void advance();
    void takeEntryAt(std::size_t offset);

    const NativeFileCalls* calls_;
    HANDLE folder_;
    const Text* pattern_;
    std::vector<ULONGLONG> buffer_;
    std::size_t offset_ = 0;      // of the current entry, in bytes
    std::size_t nextOffset_ = 0;  // from it to the next; none after the last
    DirectoryEntry current_;
    bool finished_ = true;
};

}  // namespace stravik::win32
