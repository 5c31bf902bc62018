#pragma once

#include <memory>

#include "platform/platform_services.h"

namespace stravik::win32 {

// Checks and holds the folders from a drive's root down to `folderPath`
// (PlatformServices::pinFolderPath).
//
// On Windows the held handles decide: each folder is opened without
// following reparse points, so a junction, mount point or symbolic link is
// seen as itself (FILE_ATTRIBUTE_REPARSE_POINT) and refused; the handles do
// not share delete and read the folder (an open for attributes only takes
// no part in share checks), so no program can rename, move or delete a
// held folder until the pin is released. Two more checks hold where that
// is not so (Wine follows a Unix symbolic link even so, and cannot stop a
// Unix process from renaming a held folder): the attributes read by name,
// which show a link as a reparse point there too, and, where
// GetFinalPathNameByHandleW exists (Vista on), each held folder's final
// path, which must be the drive root's final path followed by the names
// asked for. Each file is opened relative to the held folder's handle by
// its name alone (no path, so no length limit), without following a
// reparse point, checked on that handle (a file, one name only, and named
// as the folder's entry rather than what a link leads to) and deleted
// through it.
std::unique_ptr<PinnedFolderPath> holdFolderPath(const Text& folderPath);

}  // namespace stravik::win32
