#include "platform/portable/console_host.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>

#include "platform/classic_errors.h"
#include "platform/portable/stand_in_file_system.h"
#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"

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

    void listFiles(const Text& folder, const std::function<void(const Text&)>& file) override {
        const std::filesystem::path root(encodeUtf8(folder));
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::symlink_status(root, error))) {
            raiseClassicError(classic::pathNotFound);
        }
        listBelow(root, file);
    }

    void readPieces(const Text& path, const std::function<void(std::string_view)>& piece) override {
        std::ifstream file(encodeUtf8(path), std::ios::binary);
        std::string buffer(pieceSize, '\0');
        while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
               file.gcount() > 0) {
            piece(std::string_view(buffer.data(), static_cast<std::size_t>(file.gcount())));
        }
    }

    std::string readFile(const Text& path) override {
        std::ifstream file(encodeUtf8(path), std::ios::binary);
        if (!file) {
            raiseClassicError(classic::fileNotFound);
        }
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    void writeFile(const Text& path, std::string_view bytes) override {
        std::ofstream file(encodeUtf8(path), std::ios::binary | std::ios::trunc);
        if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
            !file.flush()) {
            raiseClassicError(classic::pathNotFound);
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
    static constexpr std::size_t pieceSize = 64 * 1024;

    // Each folder's files in name order, then its folders; no link followed.
    static void listBelow(const std::filesystem::path& folder,
                          const std::function<void(const Text&)>& file) {
        std::vector<std::filesystem::path> files;
        std::vector<std::filesystem::path> folders;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const auto status = entry.symlink_status(error);
            if (std::filesystem::is_directory(status)) {
                folders.push_back(entry.path());
            } else if (std::filesystem::is_regular_file(status)) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const auto& path : files) {
            file(decodeUtf8(path.string()));
        }
        for (const auto& path : folders) {
            listBelow(path, file);
        }
    }

    std::vector<std::string> arguments_;
};

}  // namespace

std::unique_ptr<console::ConsoleHost> makeConsoleHost(std::vector<std::string> arguments) {
    return std::make_unique<PosixConsoleHost>(std::move(arguments));
}

}  // namespace stravik::portable
