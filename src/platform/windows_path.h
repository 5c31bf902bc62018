#pragma once

// A Windows path of the form "X:\a\b\" taken apart into its drive and the
// names below the drive's root, by one rule wherever a path is walked:
// either separator; empty and "." names drop out, as Windows normalises
// them; ".." climbs one level.

#include <optional>
#include <vector>

#include "platform/platform_services.h"

namespace stravik {

struct WindowsPath {
    wchar_t drive;
    std::vector<Text> components;
};

inline bool isPathSeparator(wchar_t character) { return character == L'\\' || character == L'/'; }

// Null when `path` does not start with a letter, ":" and a separator, or
// when a ".." would climb above the drive's root.
inline std::optional<WindowsPath> splitWindowsPath(const Text& path) {
    const bool letter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                             (path[0] >= L'a' && path[0] <= L'z'));
    if (!letter || path[1] != L':' || !isPathSeparator(path[2])) {
        return std::nullopt;
    }
    WindowsPath split{path[0], {}};
    for (std::size_t start = 3; start <= path.size();) {
        std::size_t end = start;
        while (end < path.size() && !isPathSeparator(path[end])) {
            ++end;
        }
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
