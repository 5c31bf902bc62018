#pragma once

// A Windows path of the form "X:\a\b\" or "\\server\share\a\b\" taken
// apart into its root (the drive, or the share) and the names below it, by
// one rule wherever a path is walked: either separator; empty and "." names
// drop out, as Windows normalises them; ".." climbs one level.

#include <optional>
#include <utility>
#include <vector>

#include "platform/platform_services.h"

namespace stravik {

struct WindowsPath {
    // "X:" or "\\server\share": what a path is held from, never itself
    // checked for a link (the drive's mapping or the share is the
    // machine's, or the server's).
    Text root;
    std::vector<Text> components;
};

inline bool isPathSeparator(wchar_t character) { return character == L'\\' || character == L'/'; }

inline bool isDriveLetter(wchar_t character) {
    return (character >= L'A' && character <= L'Z') || (character >= L'a' && character <= L'z');
}

namespace windowsPathDetail {

// The end of the name that starts at `start`.
inline std::size_t nameEnd(const Text& path, std::size_t start) {
    while (start < path.size() && !isPathSeparator(path[start])) {
        ++start;
    }
    return start;
}

// "\\server\share" and where the names below it start, or none. The
// device paths "\\?\" and "\\.\" are not shares.
inline std::optional<std::pair<Text, std::size_t>> shareRoot(const Text& path) {
    if (path.size() < 5 || !isPathSeparator(path[0]) || !isPathSeparator(path[1])) {
        return std::nullopt;
    }
    const std::size_t serverEnd = nameEnd(path, 2);
    const Text server = path.substr(2, serverEnd - 2);
    if (server.empty() || server == L"?" || server == L"." || serverEnd == path.size()) {
        return std::nullopt;
    }
    const std::size_t shareEnd = nameEnd(path, serverEnd + 1);
    const Text share = path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    if (share.empty() || share == L"." || share == L"..") {
        return std::nullopt;
    }
    return std::pair(L"\\\\" + server + L"\\" + share, shareEnd + 1);
}

}  // namespace windowsPathDetail

// Null when `path` starts neither with a letter, ":" and a separator nor
// with "\\server\share", or when a ".." would climb above its root.
inline std::optional<WindowsPath> splitWindowsPath(const Text& path) {
    WindowsPath split;
    std::size_t start = 0;
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == L':' && isPathSeparator(path[2])) {
        split.root = path.substr(0, 2);
        start = 3;
    } else if (const auto share = windowsPathDetail::shareRoot(path)) {
        split.root = share->first;
        start = share->second;
    } else {
        return std::nullopt;
    }
    while (start <= path.size()) {
        const std::size_t end = windowsPathDetail::nameEnd(path, start);
        const Text component = path.substr(start, end - start);
        if (component == L"..") {
            if (split.components.empty()) {
                return std::nullopt;
            }
            split.components.pop_back();
        } else if (!component.empty() && component != L".") {
            split.components.push_back(component);
        }
        start = end + 1;
    }
    return split;
}

}  // namespace stravik
