#pragma once

#include <memory>

#include "platform/platform_services.h"
#include "platform/win32/native_files.h"

namespace stravik::win32 {

// Checks and holds the folders from a drive's root down to `folderPath`
// (PlatformServices::pinFolderPath), and works inside the held folder
// through `calls`, which must outlive the pin.
//
// On Windows the held handles decide: each folder is opened without
// following reparse points, so a junction, mount point or symbolic link is
// seen as itself (FILE_ATTRIBUTE_REPARSE_POINT) and refused; the handles do
// not share delete and read the folder (an open for attributes only takes
// no part in share checks), so no program can rename, move or delete a
// held folder until the pin is released. Two more checks hold where that
// is not so (Wine follows a Unix symbolic link even so, and cannot stop a
// Unix process from renaming a held folder): the attributes read by name,
// which show a link as a reparse point there too, and, where the system
// can name a handle's final path, each held folder's, which must be its
// parent's followed by its own name as the held parent lists it. Each file
// is opened relative to the held folder's handle by its name alone (no
// path, so no length limit), without following a reparse point, checked on
// that handle (a file, one name only, and named as the folder's entry
// rather than what a link leads to) and deleted through it.
std::unique_ptr<PinnedFolderPath> holdFolderPath(const Text& folderPath,
                                                 const NativeFileCalls& calls = nativeFileCalls());

// As holdFolderPath, through BackupFileCalls: an open that the account is
// denied is tried once more with the backup and restore privileges, when
// the account holds them (PlatformServices::pinFolderPathAsBackup).
std::unique_ptr<PinnedFolderPath> holdFolderPathAsBackup(
    const Text& folderPath, const NativeFileCalls& calls = nativeFileCalls());

}  // namespace stravik::win32
