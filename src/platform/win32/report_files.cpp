#include "platform/win32/report_files.h"

// clang-format off
#include "platform/win32/windows_headers.h"
#include <ntsecapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"

namespace stravik::win32 {
namespace {

// A log is read in pieces of this size.
constexpr DWORD pieceSize = 64 * 1024;
// The computer list is a few lines per computer.
constexpr LONGLONG largestListBytes = 64LL * 1024 * 1024;

bool isDots(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// The files of one folder in name order, then its folders. A folder that
// is a link is not followed: a share's logs hold none, and one planted
// there must not lead the report elsewhere or round in a loop.
void listBelow(const Text& folder, const std::function<void(const Text&)>& file) {
    WIN32_FIND_DATAW found{};
    const Text base =
        folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
    const UniqueFind search(FindFirstFileW((base + L"*").c_str(), &found));
    if (!search) {
        return;
    }
    std::vector<Text> files;
    std::vector<Text> folders;
    do {
        if (isDots(found.cFileName) ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? folders : files)
            .push_back(base + found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const Text& path : files) {
        file(path);
    }
    for (const Text& path : folders) {
        listBelow(path, file);
    }
}

}  // namespace

void listFiles(const Text& folder, const std::function<void(const Text&)>& file) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        raiseWindowsError(ERROR_PATH_NOT_FOUND);
    }
    listBelow(folder, file);
}

void readPieces(const Text& path, const std::function<void(std::string_view)>& piece) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return;
    }
    std::vector<char> buffer(pieceSize);
    DWORD read = 0;
    while (ReadFile(file.get(), buffer.data(), pieceSize, &read, nullptr) && read > 0) {
        piece(std::string_view(buffer.data(), read));
    }
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
