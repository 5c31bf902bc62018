#include "platform/win32/folder_identity.h"

#include "platform/link_refusal.h"
#include "platform/win32/error_info.h"
#include "platform/windows_path.h"

namespace stravik::win32 {

namespace {

Text upperCase(std::wstring_view text) {
    Text upper(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (length > 0 && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), length,
                                   upper.data(), length) != length) {
        return Text(text);
    }
    return upper;
}

// The final path without a closing separator, or the Windows error.
DWORD queryFinalPath(const NativeFileCalls& calls, HANDLE handle, Text& path) {
    const DWORD error = calls.finalPath(handle, path);
    if (error == ERROR_SUCCESS && !path.empty() && isPathSeparator(path.back())) {
        path.pop_back();
    }
    return error;
}

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool sameName(std::wstring_view one, std::wstring_view other) {
    return one == other || upperCase(one) == upperCase(other);
}

bool isLink(DWORD handleAttributes, const Text& path) {
    return isReparsePoint(handleAttributes) || wineOnly::pathShowsALink(path);
}

// Asked of a handle of its own, since a handle keeps its first pattern. A
// pattern may hold wildcards, so each entry it matches is compared.
std::optional<Text> listedName(const NativeFileCalls& calls, HANDLE folder, const Text& name) {
    const UniqueFile listing = reopenedForListing(calls, folder);
    for (const DirectoryEntry& entry : DirectoryEntries(calls, listing.get(), &name)) {
        if (sameName(entry.name, name) || sameName(entry.shortName, name)) {
            return Text(entry.name);
        }
    }
    return std::nullopt;
}

std::optional<Text> finalPathOf(const NativeFileCalls& calls, HANDLE handle) {
    Text path;
    if (queryFinalPath(calls, handle, path) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return path;
}

void confirmFinalPath(const NativeFileCalls& calls, HANDLE handle, const Text& expected,
                      const Text& path) {
    Text now;
    if (const DWORD error = queryFinalPath(calls, handle, now); error != ERROR_SUCCESS) {
        throw accessError(L"GetFinalPathNameByHandleW failed for " + path + L": " +
                          errorInfoFromFailure(HRESULT_FROM_WIN32(error)).description);
    }
    if (!sameName(now, expected)) {
        throw folderIsALink(path);
    }
}

bool namesTheEntry(const Text& openName, const Text& entryPath) {
    return sameName(openName, entryPath) ||
           sameName(wineOnly::withoutTrailingDotsAndSpaces(openName),
                    wineOnly::withoutTrailingDotsAndSpaces(entryPath));
}

namespace wineOnly {

bool isPathLike(const Text& name) {
    return name.empty() || name == L"." || name == L".." ||
           name.find_first_of(L"\\/") != Text::npos || name.size() > 32767;
}

bool opensOnlyByShortName(NTSTATUS status) { return status == statusObjectNameInvalid; }

Text withoutTrailingDotsAndSpaces(const Text& name) {
    const std::size_t end = name.find_last_not_of(L". ");
    return end == Text::npos ? Text() : name.substr(0, end + 1);
}

bool pathShowsALink(const Text& path) { return isReparsePoint(GetFileAttributesW(path.c_str())); }

}  // namespace wineOnly

}  // namespace stravik::win32
