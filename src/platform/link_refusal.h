#pragma once

// The error 75 that every platform raises when a path on the way to the
// files being removed leads somewhere else, so that each says the same.

#include "platform/classic_errors.h"
#include "platform/platform_services.h"

namespace stravik {

// 75 "Path/File access error", with what was wrong where.
inline RaisedError accessError(const Text& what) {
    return RaisedError(classic::pathFileAccessError,
                       Text(classicErrorText(classic::pathFileAccessError)) + L": " + what);
}

inline RaisedError folderIsALink(const Text& folder) {
    return accessError(folder + L" is a link to another folder");
}

inline RaisedError folderWasReplaced(const Text& folder) {
    return accessError(folder + L" was replaced while its files were being removed");
}

inline RaisedError fileIsALink(const Text& file) {
    return accessError(file + L" is a link to another file");
}

inline RaisedError fileHasOtherNames(const Text& file) {
    return accessError(file + L" has another name elsewhere");
}

inline RaisedError fileWasReplaced(const Text& file) {
    return accessError(file + L" was replaced while it was being removed");
}

inline RaisedError notAFileOfTheFolder(const Text& file) {
    return accessError(file + L" is not a file of its folder");
}

}  // namespace stravik
