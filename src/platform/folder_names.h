#pragma once

// How both platforms' pins name the files of the folder they hold.

#include "platform/platform_services.h"
#include "platform/windows_path.h"

namespace stravik {

// The folder's path as asked for, ending in its separator, to which each
// file's name is appended.
inline Text folderPrefixOf(Text folderPath) {
    if (!folderPath.empty() && !isPathSeparator(folderPath.back())) {
        folderPath += L'\\';
    }
    return folderPath;
}

// The name of `filePath` in the folder: what follows the prefix that the
// pin's list gave it (a name listed on a Unix host may hold a "\"), else
// what follows its last separator.
inline Text nameInFolder(const Text& folderPrefix, const Text& filePath) {
    return filePath.starts_with(folderPrefix) ? filePath.substr(folderPrefix.size())
                                              : filePath.substr(filePath.find_last_of(L'\\') + 1);
}

}  // namespace stravik
