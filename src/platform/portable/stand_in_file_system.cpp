#include "platform/portable/stand_in_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/classic_errors.h"
#include "platform/folder_names.h"
#include "platform/link_refusal.h"
#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"
#include "platform/windows_path.h"

namespace stravik::portable {
namespace {

namespace fs = std::filesystem;

// What the host's error means to a Windows user, where it means more than
// "Path not found" or "Path/File access error".
std::optional<std::int32_t> classicNumberFor(int error) {
    constexpr std::pair<int, std::int32_t> meanings[] = {
        {ENOENT, classic::fileNotFound},     {EACCES, classic::permissionDenied},
        {EPERM, classic::permissionDenied},  {EBUSY, classic::permissionDenied},
        {EROFS, classic::permissionDenied},  {EISDIR, classic::permissionDenied},
        {EIO, classic::deviceError},         {ENODEV, classic::deviceUnavailable},
        {ENXIO, classic::deviceUnavailable}, {ENOMEDIUM, classic::deviceUnavailable},
        {EMFILE, classic::tooManyFiles},     {ENFILE, classic::tooManyFiles},
        {EEXIST, classic::fileExists}};
    for (const auto& [host, classicNumber] : meanings) {
        if (host == error) {
            return classicNumber;
        }
    }
    return std::nullopt;
}

// Characters Windows never allows in a name. NUL is among them, which also
// keeps a name from being cut short on its way to the operating system.
bool isForbiddenInName(wchar_t character) {
    return character < 0x20 || Text(L"<>:\"|?*").find(character) != Text::npos;
}

// `path` taken apart: 76 when it does not lead to a place on a drive, 52
// when a name holds a character Windows never allows.
WindowsPath splitPath(const Text& path) {
    std::optional<WindowsPath> split = splitWindowsPath(path);
    if (!split) {
        raiseClassicError(classic::pathNotFound);
    }
    const auto forbidden = [](const Text& name) {
        return std::ranges::any_of(name, isForbiddenInName);
    };
    if (std::ranges::any_of(split->components, forbidden)) {
        raiseClassicError(classic::badFileName);
    }
    return *std::move(split);
}

}  // namespace

[[noreturn]] void raiseForFile(int error, bool lookup) {
    const std::int32_t number = classicNumberFor(error).value_or(
        lookup ? classic::pathNotFound : classic::pathFileAccessError);
    raiseClassicError(lookup && number == classic::fileNotFound ? classic::pathNotFound : number);
}

namespace {

// The on-disk name in `directory` that `name` stands for: the exact name
// when it exists, else the first (in byte order) that matches ignoring case.
std::optional<std::string> findEntry(const fs::path& directory, const Text& name) {
    const std::string exact = encodeUtf8(name);
    std::error_code error;
    if (fs::exists(fs::symlink_status(directory / exact, error))) {
        return exact;
    }
    const Text folded = foldCase(name);
    std::optional<std::string> found;
    fs::directory_iterator entries(directory, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string candidate = entries->path().filename().string();
        if (foldCase(decodeUtf8(candidate)) == folded && (!found || candidate < *found)) {
            found = candidate;
        }
    }
    if (error) {
        raiseForFile(error.value(), true);
    }
    return found;
}

// The regular files and links (as files, never followed) directly in the
// open folder `folder`, each as `prefix` and its name, sorted by name
// ignoring case so that every run deletes in the same order.
std::vector<Text> filesIn(int folder, const Text& prefix) {
    UniqueFd copy(::dup(folder));
    const UniqueAny<DIR*, &::closedir> directory(copy ? ::fdopendir(copy.get()) : nullptr);
    if (!directory) {
        raiseForFile(errno);
    }
    copy.release();  // closed with the directory
    // The copy shares its position with `folder`: a listing starts at the top.
    ::rewinddir(directory.get());
    std::vector<std::pair<Text, Text>> names;  // (folded, as on disk)
    while (const dirent* entry = ::readdir(directory.get())) {
        struct stat status {};
        if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode))) {
            const Text name = decodeUtf8(entry->d_name);
            names.emplace_back(foldCase(name), name);
        }
    }
    std::sort(names.begin(), names.end());
    std::vector<Text> paths;
    for (const auto& [folded, name] : names) {
        paths.push_back(prefix + name);
    }
    return paths;
}

// Marked hidden and system as Wine marks a file on a Unix file system: its
// DOS attributes in hexadecimal in the extended attribute user.DOSATTRIB.
bool isHiddenAndSystem(const fs::path& path) {
    char value[32] = {};
    const ssize_t length = ::lgetxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
    if (length <= 2 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) {
        return false;
    }
    constexpr unsigned long hiddenAndSystem = 0x2 | 0x4;
    return (std::strtoul(value + 2, nullptr, 16) & hiddenAndSystem) == hiddenAndSystem;
}

// The folders, and links to folders, directly in the open folder `folder`
// at `directory`, sorted as filesIn sorts files.
std::vector<FolderEntry> foldersIn(int folder, const fs::path& directory) {
    UniqueFd copy(::dup(folder));
    const UniqueAny<DIR*, &::closedir> listing(copy ? ::fdopendir(copy.get()) : nullptr);
    if (!listing) {
        raiseForFile(errno);
    }
    copy.release();
    ::rewinddir(listing.get());
    std::vector<std::pair<Text, FolderEntry>> entries;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        struct stat status {};
        if (name == "." || name == ".." || ::fstatat(folder, name.c_str(), &status, 0) != 0 ||
            !S_ISDIR(status.st_mode)) {
            continue;
        }
        const Text wide = decodeUtf8(name);
        entries.emplace_back(foldCase(wide),
                             FolderEntry{wide, isHiddenAndSystem(directory / name)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& one, const auto& other) { return one.first < other.first; });
    std::vector<FolderEntry> folders;
    for (auto& [folded, entry] : entries) {
        folders.push_back(std::move(entry));
    }
    return folders;
}

// drive_h or drive_H: the drive letter's case does not matter either. A
// drive that is a link to nothing is a drive letter whose device is gone
// (a network share that is not connected, a removed disk).
fs::path driveDirectory(const fs::path& machineRoot, wchar_t drive) {
    bool deviceMissing = false;
    for (const auto spelling :
         {static_cast<char>(drive | 0x20), static_cast<char>(drive & ~0x20)}) {
        const fs::path candidate = machineRoot / (std::string("drive_") + spelling);
        std::error_code error;
        if (fs::is_directory(candidate, error)) {
            return candidate;
        }
        deviceMissing = deviceMissing || fs::is_symlink(fs::symlink_status(candidate, error));
    }
    raiseClassicError(deviceMissing ? classic::deviceUnavailable : classic::pathNotFound);
}

// The folder a root stands for: a drive's, or for "\\server\share" the
// folder unc/server/share, where Wine looks for shares too; the server's
// and the share's names in any case.
fs::path rootDirectory(const fs::path& machineRoot, const Text& root) {
    if (root.size() == 2 && root[1] == L':') {
        return driveDirectory(machineRoot, root[0]);
    }
    const std::size_t separator = root.find(L'\\', 2);
    fs::path folder = machineRoot / "unc";
    for (const Text& name : {root.substr(2, separator - 2), root.substr(separator + 1)}) {
        std::error_code error;
        const std::optional<std::string> entry =
            fs::is_directory(folder, error) ? findEntry(folder, name) : std::nullopt;
        if (!entry || !fs::is_directory(folder / *entry, error)) {
            raiseClassicError(classic::pathNotFound);
        }
        folder /= *entry;
    }
    return folder;
}

// Follows `count` components of `path` from its drive; each must be a
// folder, and the end must lie inside the drive.
fs::path resolveFolder(const fs::path& machineRoot, const WindowsPath& path, std::size_t count) {
    const fs::path drive = rootDirectory(machineRoot, path.root);
    fs::path folder = drive;
    for (std::size_t index = 0; index < count; ++index) {
        const std::optional<std::string> name = findEntry(folder, path.components[index]);
        std::error_code error;
        if (!name || !fs::is_directory(folder / *name, error)) {
            raiseClassicError(classic::pathNotFound);
        }
        folder /= *name;
    }
    std::error_code endError;
    std::error_code driveError;
    const fs::path end = fs::canonical(folder, endError);
    const fs::path driveRoot = fs::canonical(drive, driveError);
    const bool withinDrive =
        std::mismatch(end.begin(), end.end(), driveRoot.begin(), driveRoot.end()).second ==
        driveRoot.end();
    if (endError || driveError || !withinDrive) {
        raiseClassicError(classic::pathNotFound);
    }
    return folder;
}

// Where `filePath` is on disk: null when its folder holds no entry of
// that name. Raises when the folder itself cannot be reached.
std::optional<fs::path> findFile(const fs::path& machineRoot, const Text& filePath) {
    const WindowsPath path = splitPath(filePath);
    if (path.components.empty()) {
        return std::nullopt;
    }
    const fs::path parent = resolveFolder(machineRoot, path, path.components.size() - 1);
    const std::optional<std::string> name = findEntry(parent, path.components.back());
    return name ? std::optional(parent / *name) : std::nullopt;
}

struct HeldFolder {
    UniqueFd descriptor;
    fs::path directory;
    Text windowsPath;  // as it was asked for
    dev_t device;
    ino_t inode;
};

class StandInPin : public PinnedFolderPath {
public:
    StandInPin(Text folderPath, UniqueFd root, fs::path rootDirectory,
               std::vector<HeldFolder> folders)
        : folderPrefix_(folderPrefixOf(std::move(folderPath))),
          root_(std::move(root)),
          rootDirectory_(std::move(rootDirectory)),
          folders_(std::move(folders)) {}

    std::vector<Text> files() override { return filesIn(heldFolder(), folderPrefix_); }

    std::vector<FolderEntry> folders() override {
        return foldersIn(heldFolder(),
                         folders_.empty() ? rootDirectory_ : folders_.back().directory);
    }

    // Looked up and removed inside the held folder by the name alone, so
    // that neither a moved folder nor a long path changes what is deleted.
    // unlinkat never follows a link: a link goes as itself, as on Windows.
    bool deleteFile(const Text& filePath) override {
        const Text name = nameInFolder(folderPrefix_, filePath);
        if (name.empty() || name == L"." || name == L".." || name.find(L'/') != Text::npos) {
            throw notAFileOfTheFolder(filePath);
        }
        const int folder = heldFolder();
        const std::string onDisk = encodeUtf8(name);
        struct stat status {};
        const bool found = ::fstatat(folder, onDisk.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
        if (found && S_ISDIR(status.st_mode)) {
            throw notAFileOfTheFolder(filePath);
        }
        if (found && !S_ISLNK(status.st_mode) && status.st_nlink > 1) {
            throw fileHasOtherNames(filePath);
        }
        if (!found || ::unlinkat(folder, onDisk.c_str(), 0) != 0) {
            if (errno == ENOENT) {
                return false;  // gone already
            }
            raiseForFile(errno);
        }
        return true;
    }

    void confirmUnchanged() override {
        for (const HeldFolder& folder : folders_) {
            struct stat status {};
            const bool found = ::lstat(folder.directory.c_str(), &status) == 0;
            if (found && S_ISLNK(status.st_mode)) {
                throw folderIsALink(folder.windowsPath);
            }
            if (!found || status.st_dev != folder.device || status.st_ino != folder.inode) {
                throw folderWasReplaced(folder.windowsPath);
            }
        }
    }

private:
    // The pinned folder's descriptor, the root's for a drive or a share.
    // The root is open but never checked: the drive is the machine's
    // mapping, as on Windows.
    int heldFolder() const {
        return folders_.empty() ? root_.get() : folders_.back().descriptor.get();
    }

    Text folderPrefix_;  // the folder's path as asked for, with its separator
    UniqueFd root_;
    fs::path rootDirectory_;
    std::vector<HeldFolder> folders_;
};

class StandInFileSystem : public FileSystemComponent {
public:
    explicit StandInFileSystem(fs::path machineRoot) : machineRoot_(std::move(machineRoot)) {}

    void GetFolder(const Text& folderPath) override {
        const WindowsPath path = splitPath(folderPath);
        const fs::path directory = resolveFolder(machineRoot_, path, path.components.size());
        if (!UniqueFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))) {
            raiseForFile(errno, true);
        }
    }

    void DeleteFile(const Text& filePath, bool force) override {
        const std::optional<fs::path> file = findFile(machineRoot_, filePath);
        struct stat status {};
        if (!file || ::lstat(file->c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
            raiseClassicError(classic::fileNotFound);
        }
        const bool readOnly = (status.st_mode & 0222) == 0;
        if (!force && S_ISREG(status.st_mode) && readOnly) {
            raiseClassicError(classic::permissionDenied);
        }
        // unlink never follows a link: the link goes, its target stays.
        if (::unlink(file->c_str()) != 0) {
            raiseForFile(errno);
        }
    }

    bool FileExists(const Text& filePath) override {
        try {
            const std::optional<fs::path> file = findFile(machineRoot_, filePath);
            std::error_code error;
            return file && fs::is_regular_file(*file, error);
        } catch (const RaisedError&) {
            return false;
        }
    }

private:
    fs::path machineRoot_;
};

}  // namespace

std::unique_ptr<PinnedFolderPath> pinStandInFolderPath(const fs::path& machineRoot,
                                                       const Text& folderPath) {
    const WindowsPath path = splitPath(folderPath);
    // The drive or share itself is the machine's mapping, as a drive letter
    // is on Windows: it may lead anywhere.
    const fs::path root = rootDirectory(machineRoot, path.root);
    fs::path directory = root;
    UniqueFd drive(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!drive) {
        raiseClassicError(classic::pathNotFound);
    }
    Text windowsPath = path.root;
    std::vector<HeldFolder> folders;
    for (const Text& component : path.components) {
        const int parent = folders.empty() ? drive.get() : folders.back().descriptor.get();
        const std::optional<std::string> name = findEntry(directory, component);
        if (!name) {
            raiseClassicError(classic::pathNotFound);
        }
        windowsPath += L"\\" + component;
        // Opened inside the folder already held, never through a link.
        UniqueFd folder(
            ::openat(parent, name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!folder) {
            const bool isLink = errno == ELOOP || (::fstatat(parent, name->c_str(), &status,
                                                             AT_SYMLINK_NOFOLLOW) == 0 &&
                                                   S_ISLNK(status.st_mode));
            if (isLink) {
                throw folderIsALink(windowsPath);
            }
            raiseClassicError(classic::pathNotFound);
        }
        if (::fstat(folder.get(), &status) != 0) {
            raiseClassicError(classic::pathFileAccessError);
        }
        directory /= *name;
        folders.push_back(
            HeldFolder{std::move(folder), directory, windowsPath, status.st_dev, status.st_ino});
    }
    return std::make_unique<StandInPin>(folderPath, std::move(drive), root, std::move(folders));
}

std::unique_ptr<FileSystemComponent> makeStandInFileSystem(fs::path machineRoot) {
    return std::make_unique<StandInFileSystem>(std::move(machineRoot));
}

}  // namespace stravik::portable
