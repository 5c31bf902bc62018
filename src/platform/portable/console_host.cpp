#include "platform/portable/console_host.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <utility>

#include "platform/classic_errors.h"
#include "platform/portable/stand_in_file_system.h"
#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"
#include "platform/unique_any.h"

namespace stravik::portable {
namespace {

static_assert(sizeof(off_t) >= 8, "the lock's byte lies beyond 2 GiB");

class AppendingDescriptor final : public console::AppendingFile {
public:
    explicit AppendingDescriptor(UniqueFd file) : file_(std::move(file)) {}

    Lock tryLock() override {
        if (lockRange(F_WRLCK)) {
            return Lock::taken;
        }
        return errno == EACCES || errno == EAGAIN ? Lock::heldElsewhere : Lock::unavailable;
    }

    void unlock() override { lockRange(F_UNLCK); }

    void append(const Text& text) override {
        const std::string bytes = encodeUtf8(text);
        [[maybe_unused]] const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
    }

private:
    // One byte at 2^62, beyond the end of any log.
    bool lockRange(short type) {
        struct flock range {};
        range.l_type = type;
        range.l_whence = SEEK_SET;
        range.l_start = off_t{1} << 62;
        range.l_len = 1;
        return ::fcntl(file_.get(), F_SETLK, &range) == 0;
    }

    UniqueFd file_;
};

constexpr std::size_t pieceSize = 64 * 1024;

Text systemText(int error) { return decodeUtf8(std::strerror(error)); }

// A log opened through its folder's descriptor, read no further than its
// size when opened: a file that keeps growing cannot keep the report.
class LogDescriptor final : public console::ReportFile {
public:
    LogDescriptor(UniqueFd file, off_t size, console::FileOwner owner)
        : file_(std::move(file)), left_(size), owner_(std::move(owner)) {}

    const console::FileOwner& owner() const override { return owner_; }

    void read(const std::function<void(std::string_view)>& piece) override {
        std::string buffer(pieceSize, '\0');
        while (left_ > 0) {
            const ssize_t got =
                ::read(file_.get(), buffer.data(),
                       std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(left_)));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                throw RaisedError(ErrorInfo{classic::deviceError, systemText(errno)});
            }
            if (got == 0) {
                return;
            }
            left_ -= got;
            piece(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        }
    }

private:
    UniqueFd file_;
    off_t left_;
    console::FileOwner owner_;
};

class PosixConsoleHost final : public console::ConsoleHost {
public:
    explicit PosixConsoleHost(std::vector<std::string> arguments)
        : arguments_(std::move(arguments)) {}

    std::unique_ptr<console::AppendingFile> openForAppending(const Text& path,
                                                             Opening opening) override {
        const int exclusive = opening == Opening::newOnly ? O_EXCL : 0;
        UniqueFd file(::open(encodeUtf8(path).c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | exclusive, 0666));
        if (!file) {
            // Only a folder on the way can be missing, as Windows says it.
            raiseForFile(errno, errno == ENOENT);
        }
        return std::make_unique<AppendingDescriptor>(std::move(file));
    }

    void write(Stream stream, const Text& text) override {
        const int descriptor = stream == Stream::error ? STDERR_FILENO : STDOUT_FILENO;
        const std::string bytes = encodeUtf8(text);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
            if (written <= 0 && errno != EINTR) {
                return;
            }
            done += written > 0 ? static_cast<std::size_t>(written) : 0;
        }
    }

    console::UtcTime utcNow() override {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        ::gmtime_r(&now, &parts);
        return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    }

    std::uint32_t milliseconds() override {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
    }

    void sleep(std::uint32_t milliseconds) override {
        const timespec wait{static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000};
        ::nanosleep(&wait, nullptr);
    }

    Text computerName() override {
        char name[256] = {};
        return ::gethostname(name, sizeof name - 1) == 0 ? decodeUtf8(name) : Text(L"?");
    }

    Text userName() override {
        const passwd* user = ::getpwuid(::geteuid());
        return user != nullptr ? decodeUtf8(user->pw_name) : Text(L"?");
    }

    std::uint32_t processId() override { return static_cast<std::uint32_t>(::getpid()); }

    Text commandLine() override {
        Text line;
        for (const std::string& argument : arguments_) {
            const Text text = decodeUtf8(argument);
            const bool quoted = text.empty() || text.find_first_of(L" \t") != Text::npos;
            line += (line.empty() ? L"" : L" ") + (quoted ? L"\"" + text + L"\"" : text);
        }
        return line;
    }

    // The stand-in machine has no log of applications.
    void reportEvent(EventType, std::uint32_t, const Text&) override {}
    void registerEventSource() override {}

    void listLogs(const Text& folder,
                  const std::function<void(console::ListedLog&)>& entry) override {
        UniqueFd root(
            ::open(encodeUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!root) {
            raiseClassicError(classic::pathNotFound);
        }
        const std::string base = encodeUtf8(folder);
        listBelow(root.get(), base, entry);
    }

    bool slashBeginsPaths() override { return true; }

    std::string readFile(const Text& path) override {
        UniqueFd file(::open(encodeUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat status {};
        if (!file || ::fstat(file.get(), &status) != 0) {
            raiseForFile(errno);
        }
        if (S_ISDIR(status.st_mode)) {
            raiseForFile(EISDIR);
        }
        if (!S_ISREG(status.st_mode) || status.st_size > largestListBytes) {
            raiseClassicError(classic::pathFileAccessError);
        }
        std::string bytes;
        LogDescriptor(std::move(file), status.st_size, {}).read([&](std::string_view piece) {
            bytes.append(piece);
        });
        return bytes;
    }

    void writeFile(const Text& path, std::string_view bytes) override {
        UniqueFd file(
            ::open(encodeUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!file) {
            // Only a folder on the way can be missing, as Windows says it.
            raiseForFile(errno, errno == ENOENT);
        }
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = ::write(file.get(), bytes.data() + done, bytes.size() - done);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                raiseForFile(written < 0 ? errno : ENOSPC);
            }
            done += static_cast<std::size_t>(written);
        }
    }

    std::string randomHex() override {
        std::random_device random;
        std::string text;
        for (int index = 0; index < 4; ++index) {
            char digits[9];
            std::snprintf(digits, sizeof digits, "%08x", random());
            text += digits;
        }
        return text;
    }

    std::string utf8(const Text& text) override { return encodeUtf8(text); }
    Text fromUtf8(std::string_view text) override { return decodeUtf8(text); }

private:
    // A computer list is a few lines per computer.
    static constexpr off_t largestListBytes = 64LL * 1024 * 1024;

    // The folder open as `folder`, its entries each opened through it: a
    // link or a pipe put in a file's place after listing is refused, never
    // followed and never waited on. Files in name order, then folders.
    void listBelow(int folder, const std::string& path,
                   const std::function<void(console::ListedLog&)>& entry) {
        console::ListedLog self;
        self.path = decodeUtf8(path);
        self.folder = true;
        std::vector<std::string> files;
        std::vector<std::string> folders;
        UniqueFd copy(::dup(folder));
        const UniqueAny<DIR*, &::closedir> directory(copy ? ::fdopendir(copy.get()) : nullptr);
        if (!directory) {
            self.error = systemText(errno);
        } else {
            copy.release();  // closed with the directory
            while (const dirent* found = ::readdir(directory.get())) {
                const std::string name = found->d_name;
                struct stat status {};
                if (name == "." || name == ".." ||
                    ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;
                }
                // Anything but a folder is opened as a file, which refuses
                // a link or a pipe as it would one put there after listing.
                (S_ISDIR(status.st_mode) ? folders : files).push_back(name);
            }
        }
        entry(self);
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        const std::string base = path.ends_with('/') ? path : path + "/";
        for (const std::string& name : files) {
            console::ListedLog log;
            log.path = decodeUtf8(base + name);
            openLog(folder, name, log);
            entry(log);
        }
        for (const std::string& name : folders) {
            UniqueFd below(
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!below) {
                console::ListedLog failed;
                failed.path = decodeUtf8(base + name);
                failed.folder = true;
                failed.error = systemText(errno);
                entry(failed);
                continue;
            }
            listBelow(below.get(), base + name, entry);
        }
    }

    void openLog(int folder, const std::string& name, console::ListedLog& log) {
        UniqueFd file(::openat(folder, name.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat status {};
        if (!file || ::fstat(file.get(), &status) != 0) {
            log.error = systemText(errno);
            return;
        }
        if (!S_ISREG(status.st_mode)) {
            log.error = L"not a regular file";
            return;
        }
        log.file = std::make_unique<LogDescriptor>(std::move(file), status.st_size,
                                                   ownerOf(status.st_uid));
    }

    // The file's owning user, each looked up once: root stands for SYSTEM
    // and the Administrators, as it is the stand-in's administrator.
    console::FileOwner ownerOf(uid_t uid) {
        const auto known = owners_.find(uid);
        if (known != owners_.end()) {
            return known->second;
        }
        console::FileOwner owner;
        owner.id = L"uid " + std::to_wstring(uid);
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16 * 1024);
        if (uid == 0) {
            owner.kind = console::FileOwner::Kind::machine;
            owner.name = L"root";
        } else if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
                   found != nullptr) {
            owner.kind = console::FileOwner::Kind::account;
            owner.name = decodeUtf8(found->pw_name);
        } else {
            owner.kind = console::FileOwner::Kind::unresolved;
        }
        return owners_.emplace(uid, owner).first->second;
    }

    std::map<uid_t, console::FileOwner> owners_;
    std::vector<std::string> arguments_;
};

}  // namespace

std::unique_ptr<console::ConsoleHost> makeConsoleHost(std::vector<std::string> arguments) {
    return std::make_unique<PosixConsoleHost>(std::move(arguments));
}

}  // namespace stravik::portable
