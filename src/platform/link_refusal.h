#pragma once

// The error 75 that every platform raises when a path on the way to the
// files being removed leads somewhere else, so that each says the same.

#include "platform/platform_services.h"

namespace stravik {

inline RaisedError folderIsALink(const Text& folder) {
    return RaisedError(75, L"Path/File access error: " + folder + L" is a link to another folder");
}

inline RaisedError folderWasReplaced(const Text& folder) {
    return RaisedError(75, L"Path/File access error: " + folder +
                               L" was replaced while its files were being removed");
}

inline RaisedError fileIsALink(const Text& file) {
    return RaisedError(75, L"Path/File access error: " + file + L" is a link to another file");
}

}  // namespace stravik
