#include "stand_in_machine.h"

#include <grp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/portable/registry_store.h"
#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"
#include "platform/window_captions.h"

namespace stravik::testing {
namespace {

namespace fs = std::filesystem;

constexpr uid_t unprivilegedId = 65534;
const std::string messagePrefix = "[" + portable::encodeUtf8(messageCaption) + "] ";
const std::string windowCaptionRow = "|  " + portable::encodeUtf8(windowCaption);
constexpr std::string_view okButtonRow = "[ OK ]";

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void handToUnprivilegedUser(const fs::path& root) {
    const auto give = [](const fs::path& path) {
        if (::lchown(path.c_str(), unprivilegedId, unprivilegedId) != 0) {
            fail("lchown " + path.string());
        }
    };
    give(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        give(entry.path());
    }
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void execProgram(const fs::path& root, int input, int output, int errors, User user,
                              char* const* command) {
    if (::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(errors, 2) < 0 ||
        ::chdir(root.c_str()) != 0) {
        ::_exit(126);
    }
    if (user == User::unprivileged &&
        (::setgroups(0, nullptr) != 0 ||
         ::setresgid(unprivilegedId, unprivilegedId, unprivilegedId) != 0 ||
         ::setresuid(unprivilegedId, unprivilegedId, unprivilegedId) != 0)) {
        ::_exit(126);
    }
    ::execv(command[0], command);
    ::_exit(127);
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A file in memory, outside the machine, for one of the program's streams,
// and the name it is read and written by from the start.
portable::UniqueFd memoryFile(const char* name) {
    portable::UniqueFd file(::memfd_create(name, MFD_CLOEXEC));
    if (file.get() < 0) {
        fail("memfd_create");
    }
    return file;
}
fs::path nameOf(const portable::UniqueFd& file) {
    return "/proc/self/fd/" + std::to_string(file.get());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

// Runs `command` (the program and its arguments) in the machine `root`
// with `input` on its standard input.
ProgramRun runIn(const fs::path& root, std::string_view input, User user,
                 std::vector<std::string> command) {
    if (user == User::unprivileged) {
        handToUnprivilegedUser(root);
    }
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const portable::UniqueFd inputFile = memoryFile("input");
    std::ofstream(nameOf(inputFile), std::ios::binary) << input;
    const portable::UniqueFd outputFile = memoryFile("output");
    const portable::UniqueFd errorFile = memoryFile("errors");
    const pid_t child = ::fork();
    if (child < 0) {
        fail("fork");
    }
    if (child == 0) {
        execProgram(root, inputFile.get(), outputFile.get(), errorFile.get(), user, argv.data());
    }

    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    run.output = readFile(nameOf(outputFile));
    run.errors = readFile(nameOf(errorFile));
    return run;
}

}  // namespace

std::vector<std::string> ProgramRun::messages() const {
    // A message runs from its caption to the OK button and may span lines.
    std::vector<std::string> texts;
    bool inMessage = false;
    for (const std::string& line : lines(output)) {
        if (line.starts_with(messagePrefix)) {
            texts.push_back(line.substr(messagePrefix.size()));
            inMessage = true;
        } else if (line == okButtonRow) {
            inMessage = false;
        } else if (inMessage) {
            texts.back() += "\n" + line;
        }
    }
    return texts;
}

bool ProgramRun::windowDrawn() const {
    return output.starts_with(windowCaptionRow) ||
           output.find("\n" + windowCaptionRow) != std::string::npos;
}

std::string utf16LeWithBom(std::string_view utf8) {
    const std::vector<std::uint8_t> units = portable::utf16LeFromText(portable::decodeUtf8(utf8));
    return "\xFF\xFE" + std::string(units.begin(), units.end());
}

std::vector<RegistryRow> installationRows(std::string_view windowsDirectory, std::string table) {
    if (table.empty()) {
        table = readFile(STRAVIK_INSTALLATION_TABLE);
        if (table.empty()) {
            throw std::runtime_error("cannot read " STRAVIK_INSTALLATION_TABLE);
        }
    }
    std::string slashed(windowsDirectory);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const auto expand = [&](std::string text) {
        for (const auto& [from, to] :
             {std::pair<std::string_view, std::string_view>{"%WINDIR_SLASHED%", slashed},
              {"%WINDIR%", windowsDirectory}}) {
            for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    };
    std::vector<RegistryRow> rows;
    for (const std::string& line : lines(table)) {
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        std::vector<std::string> columns;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            columns.push_back(expand(field));
        }
        columns.resize(6);  // a trailing tab ends an empty data column
        rows.push_back({columns[0], columns[1], columns[2], columns[3], columns[4], columns[5]});
    }
    return rows;
}

std::string registryFileFor(const std::vector<RegistryRow>& rows) {
    const auto quoted = [](const std::string& text) {
        std::string result = "\"";
        for (const char character : text) {
            if (character == '\\' || character == '"') result.push_back('\\');
            result.push_back(character);
        }
        return result + "\"";
    };
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (const RegistryRow& row : rows) {
        const std::string root = row.root == "HKCR"   ? "HKEY_CLASSES_ROOT"
                                 : row.root == "HKCU" ? "HKEY_CURRENT_USER"
                                                      : "HKEY_LOCAL_MACHINE";
        text += "[" + root + "\\" + row.key + "]\n";
        if (row.value != "-") {
            text += (row.value == "@" ? "@" : quoted(row.value)) + "=" +
                    (row.data.starts_with("dword:") ? row.data : quoted(row.data)) + "\n";
        }
        text += "\n";
    }
    return text;
}

StandInMachine::StandInMachine() {
    std::string pattern = (fs::temp_directory_path() / "stravik-machine-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        fail("mkdtemp");
    }
    root_ = pattern;
}

StandInMachine::~StandInMachine() {
    std::error_code ignored;
    // Read-only folders made by a test must not keep their contents alive.
    for (auto entry = fs::recursive_directory_iterator(root_, ignored);
         entry != fs::recursive_directory_iterator(); entry.increment(ignored)) {
        if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) {
            fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(root_, ignored);
}

fs::path StandInMachine::hostPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') {
        throw std::invalid_argument("not a Windows path: " + std::string(windowsPath));
    }
    std::string rest(windowsPath.substr(2));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    const char drive = static_cast<char>(std::tolower(windowsPath[0]));
    return (root_ / (std::string("drive_") + drive) / fs::path(rest).relative_path())
        .lexically_normal();
}

void StandInMachine::writeRegistry(std::string_view text) const {
    std::ofstream(root_ / "registry.reg", std::ios::binary) << text;
}

std::string StandInMachine::registryBytes() const { return readFile(root_ / "registry.reg"); }

void StandInMachine::createFile(std::string_view windowsPath, std::string_view contents) const {
    const fs::path path = hostPath(windowsPath);
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file << contents;
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void StandInMachine::createFolder(std::string_view windowsPath) const {
    fs::create_directories(hostPath(windowsPath));
}

void StandInMachine::makeReadOnly(std::string_view windowsPath) const {
    fs::permissions(hostPath(windowsPath),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void StandInMachine::createSymlink(std::string_view windowsPath, const fs::path& target) const {
    const fs::path path = hostPath(windowsPath);
    fs::create_directories(path.parent_path());
    fs::create_symlink(target, path);
}

bool StandInMachine::exists(std::string_view windowsPath) const {
    std::error_code error;
    return fs::exists(fs::symlink_status(hostPath(windowsPath), error));
}

bool StandInMachine::canRunUnprivileged() { return ::geteuid() == 0; }

ProgramRun StandInMachine::run(std::string_view input, User user) const {
    return runIn(root_, input, user, {STRAVIK_PROGRAM});
}

ProgramRun StandInMachine::runConsole(const std::vector<std::string>& arguments, User user) const {
    std::vector<std::string> command = {STRAVIK_CONSOLE_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runIn(root_, "", user, command);
}

}  // namespace stravik::testing
