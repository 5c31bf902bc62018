#include "platform/win32/folder_pin.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/link_refusal.h"
#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

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
// write, but not delete, rename or move it.
UniqueFile openHeld(const Text& path) {
    return UniqueFile(CreateFileW(path.c_str(),
                                  FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  withoutFollowingLinks, nullptr));
}

// A look only: attributes, sharing everything.
UniqueFile openForLook(const Text& path) {
    return UniqueFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, withoutFollowingLinks, nullptr));
}

bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

[[noreturn]] void raiseSystemError(DWORD error) {
    throw RaisedError(errorInfoFromFailure(HRESULT_FROM_WIN32(error)));
}

// A folder that cannot be opened: missing is "Path not found", as the
// component says; anything else as the system says.
[[noreturn]] void raiseFolderOpenFailure() {
    const DWORD error = GetLastError();
    if (isNotFound(error)) {
        raiseClassicError(76);
    }
    raiseSystemError(error);
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        raiseSystemError(GetLastError());
    }
    return information;
}

ULONGLONG indexOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
}

// What the checks before each file need to know of an open file or folder.
struct Facts {
    DWORD attributes;
    ULONGLONG index;
    DWORD names;
};

using NtQueryInformationFileFunction = LONG(NTAPI*)(HANDLE, void*, void*, ULONG, int);

NtQueryInformationFileFunction ntQueryInformationFile() {
    static const auto function =
        loadedEntryPoint<NtQueryInformationFileFunction>(L"ntdll.dll", "NtQueryInformationFile");
    return function;
}

// Asked of the file system one class at a time: GetFileInformationByHandle
// would also ask for the volume's serial number, which Wine answers
// slowly, and this runs twice for every file removed.
Facts factsOf(HANDLE handle) {
    if (const NtQueryInformationFileFunction query = ntQueryInformationFile()) {
        struct {
            void* status;
            ULONG_PTR information;
        } ioStatus{};
        struct {
            LARGE_INTEGER times[4];
            ULONG attributes;
        } basic{};  // FileBasicInformation
        struct {
            LARGE_INTEGER allocationSize;
            LARGE_INTEGER endOfFile;
            ULONG names;
            BOOLEAN deletePending;
            BOOLEAN directory;
        } standard{};           // FileStandardInformation
        LARGE_INTEGER index{};  // FileInternalInformation
        constexpr int basicClass = 4;
        constexpr int standardClass = 5;
        constexpr int internalClass = 6;
        if (query(handle, &ioStatus, &basic, sizeof basic, basicClass) >= 0 &&
            query(handle, &ioStatus, &standard, sizeof standard, standardClass) >= 0 &&
            query(handle, &ioStatus, &index, sizeof index, internalClass) >= 0) {
            return Facts{basic.attributes, static_cast<ULONGLONG>(index.QuadPart), standard.names};
        }
    }
    const BY_HANDLE_FILE_INFORMATION information = informationOf(handle);
    return Facts{information.dwFileAttributes, indexOf(information), information.nNumberOfLinks};
}

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

bool sameName(const Text& one, const Text& other) { return upperCase(one) == upperCase(other); }

struct HeldFolder {
    UniqueFile handle;
    Text path;
    BY_HANDLE_FILE_INFORMATION information;
};

class HeldFolderPath final : public PinnedFolderPath {
public:
    HeldFolderPath(std::vector<HeldFolder> folders, std::optional<Text> finalPath)
        : folders_(std::move(folders)), finalPath_(std::move(finalPath)) {}

    void confirmFile(const Text& filePath) override {
        const HeldFolder& folder = folders_.back();
        confirmFolder(folder);

        const UniqueFile file = openForLook(filePath);
        if (!file) {
            const DWORD error = GetLastError();
            if (isNotFound(error)) {
                return;  // the deletion reports it
            }
            raiseSystemError(error);
        }
        // A file with another name elsewhere is a hard link: deleting with
        // force would first clear the read-only attribute they share.
        if (factsOf(file.get()).names > 1) {
            throw fileIsALink(filePath);
        }
        if (finalPath_) {
            const std::optional<Text> fileFinalPath = finalPathOf(file.get());
            if (!fileFinalPath ||
                !sameName(*fileFinalPath, *finalPath_ + L"\\" + nameOf(filePath))) {
                throw fileIsALink(filePath);
            }
        } else if (informationOf(file.get()).dwVolumeSerialNumber !=
                   folder.information.dwVolumeSerialNumber) {
            throw fileIsALink(filePath);
        }
    }

private:
    // The folder its path reaches now must still be the held one: the same
    // file index, and the same final path, which names the volume too.
    void confirmFolder(const HeldFolder& folder) const {
        const UniqueFile now = openForLook(folder.path);
        if (!now) {
            throw folderWasReplaced(folder.path);
        }
        const Facts facts = factsOf(now.get());
        if (isLink(facts.attributes, folder.path)) {
            throw folderIsALink(folder.path);
        }
        if (facts.index != indexOf(folder.information)) {
            throw folderWasReplaced(folder.path);
        }
        if (finalPath_) {
            const std::optional<Text> nowFinalPath = finalPathOf(now.get());
            if (!nowFinalPath || !sameName(*nowFinalPath, *finalPath_)) {
                throw folderIsALink(folder.path);
            }
        } else if (informationOf(now.get()).dwVolumeSerialNumber !=
                   folder.information.dwVolumeSerialNumber) {
            throw folderWasReplaced(folder.path);
        }
    }

    static Text nameOf(const Text& filePath) {
        const std::size_t separator = filePath.find_last_of(L"\\/");
        return separator == Text::npos ? filePath : filePath.substr(separator + 1);
    }

    std::vector<HeldFolder> folders_;
    std::optional<Text> finalPath_;
};

bool isSeparator(wchar_t character) { return character == L'\\' || character == L'/'; }

// The names after "X:\", empty ones dropped.
std::vector<Text> componentsOf(const Text& folderPath) {
    std::vector<Text> components;
    std::size_t start = 3;
    while (start < folderPath.size()) {
        std::size_t end = start;
        while (end < folderPath.size() && !isSeparator(folderPath[end])) {
            ++end;
        }
        if (end > start) {
            components.push_back(folderPath.substr(start, end - start));
        }
        start = end + 1;
    }
    return components;
}

}  // namespace

std::unique_ptr<PinnedFolderPath> holdFolderPath(const Text& folderPath) {
    if (folderPath.size() < 3 || folderPath[1] != L':' || !isSeparator(folderPath[2])) {
        raiseClassicError(76);
    }
    // The drive's root is held too: a mapped drive's root is a folder
    // elsewhere that could otherwise be renamed away.
    Text path = folderPath.substr(0, 2);
    UniqueFile root = openHeld(path + L"\\");
    if (!root) {
        raiseFolderOpenFailure();
    }
    // A mapped drive's final paths start with what it maps to, not with its
    // letter; every folder's must continue the root's by the names asked for.
    std::optional<Text> finalPath = finalPathOf(root.get());
    if (finalPath && !finalPath->empty() && isSeparator(finalPath->back())) {
        finalPath->pop_back();
    }
    std::vector<HeldFolder> folders;
    folders.push_back(HeldFolder{std::move(root), path + L"\\", {}});
    folders.back().information = informationOf(folders.back().handle.get());

    for (const Text& component : componentsOf(folderPath)) {
        path += L"\\" + component;
        UniqueFile folder = openHeld(path);
        if (!folder) {
            raiseFolderOpenFailure();
        }
        const BY_HANDLE_FILE_INFORMATION information = informationOf(folder.get());
        if (isLink(information.dwFileAttributes, path)) {
            throw folderIsALink(path);
        }
        if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            raiseClassicError(76);
        }
        if (finalPath) {
            *finalPath += L"\\" + component;
            const std::optional<Text> folderFinalPath = finalPathOf(folder.get());
            if (!folderFinalPath || !sameName(*folderFinalPath, *finalPath)) {
                throw folderIsALink(path);
            }
        }
        folders.push_back(HeldFolder{std::move(folder), path, information});
    }
    return std::make_unique<HeldFolderPath>(std::move(folders), std::move(finalPath));
}

}  // namespace stravik::win32
