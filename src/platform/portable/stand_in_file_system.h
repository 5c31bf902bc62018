#pragma once

// The stand-in machine's "Scripting.FileSystemObject". Windows paths
// "X:\..." map to `<machine root>/drive_x/...`; every component resolves
// case-insensitively against the names on disk (UTF-8), and "/" is a
// separator too, as on Windows. No path ever leads out of its drive.

#include <filesystem>
#include <memory>

#include "platform/platform_services.h"

namespace stravik::portable {

// GetFolder raises 76 for a missing folder; DeleteFile removes a link as a
// link and raises 53, 76, 70 (also for a read-only file without force) or
// 75; FileExists is false, never an error, for a path that names no file.
std::unique_ptr<FileSystemComponent> makeStandInFileSystem(std::filesystem::path machineRoot);

// Opens the folders from the drive's root down to `folderPath`, each
// inside the one above it and without following a link, and holds them.
// Raises 75 naming the first that is a symbolic link, wherever it leads,
// and 76 when one is missing. The pin deletes each file inside the held
// folder by its name alone; a link goes as a link.
std::unique_ptr<PinnedFolderPath> pinStandInFolderPath(const std::filesystem::path& machineRoot,
                                                       const Text& folderPath);

// Raises what the host's error `error` means for a file: its classic
// number, else "Path/File access error". For a folder that cannot be read
// (`lookup`), a missing entry on the way is a missing path.
[[noreturn]] void raiseForFile(int error, bool lookup = false);

}  // namespace stravik::portable
