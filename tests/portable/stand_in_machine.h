#pragma once

// A stand-in machine in a fresh temporary folder, and runs of the real
// `stravik` and `stravikc` programs on it. Windows paths given here
// ("H:\a\b") map to drive folders exactly as written (drive_h/a/b), without
// any case resolution, so a test sees precisely what is on disk.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace stravik::testing {

// Who runs the program: root (an administrator on the stand-in) or the
// unprivileged user nobody (uid and gid 65534).
enum class User { administrator, unprivileged };

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit by itself within 30 seconds
    std::string output;
    std::string errors;

    // The texts of the message boxes shown, in order.
    std::vector<std::string> messages() const;
    bool windowDrawn() const;
};

class StandInMachine {
public:
    StandInMachine();
    ~StandInMachine();
    StandInMachine(const StandInMachine&) = delete;
    StandInMachine& operator=(const StandInMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path hostPath(std::string_view windowsPath) const;

    // registry.reg with exactly these bytes.
    void writeRegistry(std::string_view bytes) const;
    std::string registryBytes() const;

    // Files and folders, parent folders created as needed.
    void createFile(std::string_view windowsPath, std::string_view contents = "") const;
    void createFolder(std::string_view windowsPath) const;
    void makeReadOnly(std::string_view windowsPath) const;
    void createSymlink(std::string_view windowsPath, const std::filesystem::path& target) const;
    // True when the path names anything, a dangling link included.
    bool exists(std::string_view windowsPath) const;

    // Runs the program in the machine's root with `input` on its standard
    // input. An unprivileged run first hands the whole machine to that
    // user, as if it were theirs.
    ProgramRun run(std::string_view input, User user = User::administrator) const;
    // Runs the console program `stravikc` there with these arguments.
    ProgramRun runConsole(const std::vector<std::string>& arguments,
                          User user = User::administrator) const;

    // Unprivileged runs need root to switch user.
    static bool canRunUnprivileged();

private:
    std::filesystem::path root_;
};

// UTF-8 text as UTF-16LE bytes with a byte order mark, as `reg export`
// writes registry files.
std::string utf16LeWithBom(std::string_view utf8);

// One row of a typical installation's registry, as scripts/installation.tsv
// lists them (its header describes the columns), the Windows directory
// filled in. Rows written here in the same format may also name HKCU.
struct RegistryRow {
    std::string role, kind, root, key, value, data;
};

// The rows of `table`, which defaults to scripts/installation.tsv.
std::vector<RegistryRow> installationRows(std::string_view windowsDirectory,
                                          std::string table = "");

// registry.reg text that creates the rows, HKCR rows spelled through
// HKEY_CLASSES_ROOT.
std::string registryFileFor(const std::vector<RegistryRow>& rows);

}  // namespace stravik::testing
