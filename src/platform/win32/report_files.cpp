#include "platform/win32/report_files.h"

// clang-format off
#include "platform/win32/windows_headers.h"
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"

namespace stravik::win32 {
namespace {

// A log is read in pieces of this size.
constexpr DWORD pieceSize = 64 * 1024;
// The computer list is a few lines per computer.
constexpr LONGLONG largestListBytes = 64LL * 1024 * 1024;

using UniqueLocalMemory = UniqueAny<HLOCAL, &::LocalFree>;

bool isDots(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// The system's own words for `error`.
Text systemText(DWORD error) {
    const Text text = systemMessageText(HRESULT_FROM_WIN32(error));
    return text.empty() ? L"error " + std::to_wstring(error) : text;
}

// A log read through the handle its owner was read on, no further than its
// size when opened: a file that keeps growing cannot keep the report.
class LogHandle final : public console::ReportFile {
public:
    LogHandle(UniqueFile file, ULONGLONG size, console::FileOwner owner)
        : file_(std::move(file)), left_(size), owner_(std::move(owner)) {}

    const console::FileOwner& owner() const override { return owner_; }

    void read(const std::function<void(std::string_view)>& piece) override {
        std::vector<char> buffer(pieceSize);
        while (left_ > 0) {
            const DWORD wanted = static_cast<DWORD>(std::min<ULONGLONG>(pieceSize, left_));
            DWORD got = 0;
            if (!ReadFile(file_.get(), buffer.data(), wanted, &got, nullptr)) {
                const DWORD error = GetLastError();
                throw RaisedError(
                    ErrorInfo{errorNumberFor(HRESULT_FROM_WIN32(error)), systemText(error)});
            }
            if (got == 0) {
                return;
            }
            left_ -= got;
            piece(std::string_view(buffer.data(), got));
        }
    }

private:
    UniqueFile file_;
    ULONGLONG left_;
    console::FileOwner owner_;
};

// Opens a listed file for reading, never through a link: a file swapped
// for a link or a device after listing is refused, not followed.
void openLog(const Text& path, FileOwners& owners, console::ListedLog& log) {
    UniqueFile file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.get(), &information)) {
        log.error = systemText(GetLastError());
        return;
    }
    if ((information.dwFileAttributes &
         (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        GetFileType(file.get()) != FILE_TYPE_DISK) {
        log.error = L"not a regular file";
        return;
    }
    const ULONGLONG size =
        (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    console::FileOwner owner = owners.ownerOf(file.get());
    log.file = std::make_unique<LogHandle>(std::move(file), size, std::move(owner));
}

// The files of one folder in name order, then its folders. A folder that
// is a link is not followed: a share's logs hold none, and one planted
// there must not lead the report elsewhere or round in a loop; it is
// listed as a folder that could not be read.
void listBelow(const Text& folder, FileOwners& owners,
               const std::function<void(console::ListedLog&)>& entry) {
    console::ListedLog self;
    self.path = folder;
    self.folder = true;
    WIN32_FIND_DATAW found{};
    const Text base =
        folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
    const UniqueFind search(FindFirstFileW((base + L"*").c_str(), &found));
    if (!search) {
        self.error = systemText(GetLastError());
        entry(self);
        return;
    }
    entry(self);
    std::vector<Text> files;
    std::vector<Text> folders;
    std::vector<Text> links;
    do {
        if (isDots(found.cFileName)) {
            continue;
        }
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        (isFolder && isLink ? links : isFolder ? folders : files).push_back(base + found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    std::sort(links.begin(), links.end());
    for (const Text& path : files) {
        console::ListedLog log;
        log.path = path;
        openLog(path, owners, log);
        entry(log);
    }
    for (const Text& path : links) {
        console::ListedLog link;
        link.path = path;
        link.folder = true;
        link.error = L"a link, not followed";
        entry(link);
    }
    for (const Text& path : folders) {
        listBelow(path, owners, entry);
    }
}

}  // namespace

console::FileOwner FileOwners::ownerOf(HANDLE file) {
    console::FileOwner owner;
    PSID sid = nullptr;
    UniqueLocalMemory descriptor;
    const DWORD result =
        GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                        nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
    if (result != ERROR_SUCCESS || sid == nullptr) {
        owner.id = result != ERROR_SUCCESS ? systemText(result) : Text();
        return owner;
    }
    // Compared by SID: their names are in the system's language.
    if (IsWellKnownSid(sid, WinLocalSystemSid) ||
        IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
        owner.kind = console::FileOwner::Kind::machine;
        const bool system = IsWellKnownSid(sid, WinLocalSystemSid);
        owner.name = system ? L"SYSTEM" : L"Administrators";
        owner.id = system ? L"S-1-5-18" : L"S-1-5-32-544";
        return owner;
    }
    wchar_t* sidText = nullptr;
    if (!ConvertSidToStringSidW(sid, &sidText)) {
        owner.id = systemText(GetLastError());
        return owner;
    }
    owner.id = sidText;
    LocalFree(sidText);
    if (const auto known = known_.find(owner.id); known != known_.end()) {
        return known->second;
    }
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    std::vector<wchar_t> name(nameSize);
    std::vector<wchar_t> domain(domainSize);
    SID_NAME_USE use{};
    BOOL found =
        LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use);
    if (!found && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        name.resize(nameSize);
        domain.resize(domainSize);
        found = LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize,
                                  &use);
    }
    if (found) {
        owner.kind = console::FileOwner::Kind::account;
        owner.name = name.data();
        owner.domain = domain.data();
    } else {
        owner.kind = console::FileOwner::Kind::unresolved;
    }
    return known_.emplace(owner.id, owner).first->second;
}

void listLogs(const Text& folder, FileOwners& owners,
              const std::function<void(console::ListedLog&)>& entry) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        raiseWindowsError(ERROR_PATH_NOT_FOUND);
    }
    listBelow(folder, owners, entry);
}

std::string readFile(const Text& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        raiseLastError();
    }
    if (size.QuadPart > largestListBytes) {
        raiseWindowsError(ERROR_FILE_TOO_LARGE);
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        raiseLastError();
    }
    bytes.resize(read);
    return bytes;
}

void writeFile(const Text& path, std::string_view bytes) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        raiseLastError();
    }
}

std::string randomHex() {
    unsigned char random[16]{};
    if (!RtlGenRandom(random, sizeof random)) {
        raiseLastError();
    }
    std::string text;
    for (const unsigned char byte : random) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

}  // namespace stravik::win32
