// The real program run on stand-in machines holding a typical Halvoran
// installation: what the user sees, what is left on disk and in
// registry.reg.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/portable/registry_store.h"
#include "platform/portable/utf8.h"
#include "stand_in_machine.h"

namespace stravik::testing {
namespace {

namespace fs = std::filesystem;
using portable::RegistryStore;
using portable::RegistryValue;
using Messages = std::vector<std::string>;

const std::string finished = "Finished removing Halvoran OCX files!";
const std::string driveNotFound =
    "Cannot find Halvoran Drive or Windows Directory.  Please contact your System "
    "Administrator.";
// Remove, OK for its message, Exit.
constexpr std::string_view removeThenExit = "r\n\ne\n";

// A Windows directory whose name only Windows-1252 carries in the narrow
// calls, so that every path the program builds from it goes through the
// code page.
const std::string windowsDirectory = "C:\\WINDÖWS";

// Registry rows the installation table does not try, in its columns with
// "|" for its tabs, written first so that the keys they name are created as
// they spell them: the class key in lower case through the machine's
// classes, names that begin like a target's, ModuleUsage names with
// backslashes or another Windows directory, and keys of the current user.
std::string extraRows() {
    std::string rows =
        R"(target|tree|HKLM|SOFTWARE\Classes\clsid\{ae2426ed-27e8-43ea-a844-3621cb40be0f}|@|QDA
neighbour|value|HKLM|SOFTWARE\Microsoft\Windows NT\CurrentVersion|SystemRoot|%WINDIR%
neighbour|value|HKCR|AppID\QuorwenDocumentAutomation.OCX|AppID|{AE2426ED}
neighbour|tree|HKCR|CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}.bak|@|a copy
neighbour|tree|HKCR|QuorwenDocumentAutomation.OCX.1|@|the next version
neighbour|tree|HKCR|TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\2.01|@|not 2.0
neighbour|tree|HKLM|SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\C:/WINNT/Downloaded Program Files/QuorwenDocumentAutomation.OCX|.Owner|x
neighbour|tree|HKLM|SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\%WINDIR%\Downloaded Program Files\QuorwenDocumentAutomation.OCX|.Owner|x
neighbour|value|HKLM|SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs|%WINDIR%\Downloaded Program Files\CONFLICT.1\Other.ocx|dword:00000002
neighbour|tree|HKCU|Software\Classes\CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}|@|
neighbour|tree|HKCU|SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\%WINDIR_SLASHED%/Downloaded Program Files/QuorwenDocumentAutomation.OCX|.Owner|x
)";
    std::replace(rows.begin(), rows.end(), '|', '\t');
    return rows;
}

const std::vector<std::string> templateFiles = {
    R"(H:\Halvoran\template\Letter.dotx)",
    R"(H:\Halvoran\template\Memo.dotx)",
    "H:\\Halvoran\\template\\Brief für Kunden.dotx",
    "H:\\Halvoran\\template\\Ελληνικά.dot",
};
const std::vector<std::string> windowsFiles = {
    windowsDirectory + R"(\Downloaded Program Files\QuorwenDocumentAutomation.OCX)",
    windowsDirectory + R"(\Halvoran.dotm)",
    windowsDirectory + R"(\Halvoran.dot)",
};
const std::vector<std::string> neighbourFiles = {
    R"(H:\Halvoran\template\archive\Old.dotx)",
    R"(H:\Halvoran\readme.txt)",
    windowsDirectory + R"(\Downloaded Program Files\Other.ocx)",
    windowsDirectory + R"(\notepad.exe)",
    R"(D:\Shared\Letterhead.dotx)",
};

RegistryRoot rootOf(const RegistryRow& row) {
    return row.root == "HKCR"   ? RegistryRoot::classesRoot
           : row.root == "HKCU" ? static_cast<RegistryRoot>(0x80000001u)
                                : RegistryRoot::localMachine;
}

// The value a row names or seeds in its key, if any.
const RegistryValue* valueOf(const RegistryStore& store, const RegistryRow& row) {
    return row.value == "-"
               ? nullptr
               : store.findValue(rootOf(row), portable::decodeUtf8(row.key),
                                 row.value == "@" ? Text() : portable::decodeUtf8(row.value));
}

bool present(const RegistryStore& store, const RegistryRow& row) {
    return row.kind == "value" ? valueOf(store, row) != nullptr
                               : store.keyExists(rootOf(row), portable::decodeUtf8(row.key));
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        rows = installationRows(windowsDirectory, extraRows());
        for (const RegistryRow& row : installationRows(windowsDirectory)) {
            rows.push_back(row);
        }
        machine.writeRegistry(utf16LeWithBom(registryFileFor(rows)));
        for (const auto* files : {&templateFiles, &windowsFiles, &neighbourFiles}) {
            for (const std::string& file : *files) {
                machine.createFile(file, "content");
            }
        }
        machine.makeReadOnly(templateFiles[1]);
        machine.makeReadOnly(windowsFiles[2]);
        // Links in the template folder go as links.
        machine.createSymlink(R"(H:\Halvoran\template\Letterhead.dotx)",
                              machine.hostPath(R"(D:\Shared\Letterhead.dotx)"));
        machine.createSymlink(R"(H:\Halvoran\template\Shared)", machine.hostPath(R"(D:\Shared)"));
    }

    RegistryStore registryNow() const {
        RegistryStore store(machine.root() / "registry.reg");
        store.load();
        return store;
    }

    // Everything on the machine, as paths relative to its root.
    std::vector<fs::path> filesLeft() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(machine.root())) {
            files.push_back(entry.path().lexically_relative(machine.root()));
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    StandInMachine machine;
    std::vector<RegistryRow> rows;
};

class InputTest : public ProgramTest, public ::testing::WithParamInterface<std::string_view> {};

// Exit, and then anything; the end of the input; lines that are no command.
TEST_P(InputTest, ThatRemovesNothingLeavesTheMachineAsItWas) {
    const std::vector<fs::path> files = filesLeft();
    const std::string registry = machine.registryBytes();

    const ProgramRun run = machine.run(GetParam());

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(run.windowDrawn());
    // The captions as the user reads them, independently of where they are kept.
    for (const std::string_view caption :
         {"|  Remove Halvoran OCX ", "[ Remove Halvoran OCX ]", "[ Exit Removal Tool ]"}) {
        EXPECT_NE(run.output.find(caption), std::string::npos) << caption;
    }
    EXPECT_EQ(run.messages(), Messages{});
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(filesLeft(), files);
    EXPECT_EQ(machine.registryBytes(), registry);
}

INSTANTIATE_TEST_SUITE_P(Inputs, InputTest, ::testing::Values("e\nr\n\n", "", "nonsense\n\n  \n"));

TEST(ProgramWithoutARegistry, KnowsNeitherPlaceAndEnds) {
    StandInMachine machine;
    ProgramRun run = machine.run("r\n\nr\n\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_FALSE(run.windowDrawn());
    EXPECT_EQ(run.messages(), Messages{driveNotFound});

    // A malformed registry fails both lookups, each with its own message,
    // and is kept as it was.
    machine.writeRegistry(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n");
    const std::string registry = machine.registryBytes();
    run = machine.run("r\n\n\ne\n");
    ASSERT_EQ(run.messages().size(), 3u);
    EXPECT_TRUE(run.messages()[0].starts_with("Error # "));
    EXPECT_EQ(run.messages()[2], driveNotFound);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(machine.registryBytes(), registry);
}

TEST_F(ProgramTest, RemoveTakesOffTheInstallationAndANextRunNothingMore) {
    const RegistryStore before = registryNow();

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{finished});
    EXPECT_NE(run.output.find("[Stravik] " + finished + "\n[ OK ]"), std::string::npos);
    for (const auto* files : {&templateFiles, &windowsFiles}) {
        for (const std::string& file : *files) {
            EXPECT_FALSE(machine.exists(file)) << file;
        }
    }
    EXPECT_FALSE(machine.exists(R"(H:\Halvoran\template\Letterhead.dotx)"));
    EXPECT_FALSE(machine.exists(R"(H:\Halvoran\template\Shared)"));
    for (const std::string& file : neighbourFiles) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }

    // Every target and what was seeded inside it is gone; every neighbour
    // is kept with its data.
    const RegistryStore after = registryNow();
    for (const RegistryRow& row : rows) {
        SCOPED_TRACE(row.root + "\\" + row.key + " : " + row.value);
        ASSERT_TRUE(present(before, row)) << "not seeded";
        if (row.role != "neighbour") {
            EXPECT_FALSE(present(after, row));
            continue;
        }
        ASSERT_TRUE(present(after, row));
        if (const RegistryValue* kept = valueOf(after, row)) {
            EXPECT_EQ(kept->type, valueOf(before, row)->type);
            EXPECT_EQ(kept->data, valueOf(before, row)->data);
        }
    }

    // The drive went with the class key, so the next start looks for the
    // templates on the Windows directory's drive. There each of two Removes
    // finishes, and they take only the file put back.
    machine.createFolder(R"(C:\Halvoran\template)");
    const std::vector<fs::path> files = filesLeft();
    const std::string registry = machine.registryBytes();
    machine.createFile(windowsFiles[1]);

    const ProgramRun next = machine.run("r\n\nr\n\ne\n");

    EXPECT_EQ(next.messages(), (Messages{finished, finished}));
    EXPECT_EQ(filesLeft(), files);
    EXPECT_EQ(machine.registryBytes(), registry);
}

TEST_F(ProgramTest, OrdinaryUserIsToldWhatWasLeftForAnAdministrator) {
    if (!StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    const std::string registry = machine.registryBytes();

    // Remove, OK, OK, Exit.
    const ProgramRun run = machine.run("r\n\n\ne\n", User::unprivileged);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(),
              (Messages{finished,
                        "Stravik was not run as an administrator, so these files were left:\n\n" +
                            windowsFiles[0] + "\n" + windowsFiles[1] + "\n" + windowsFiles[2] +
                            "\n\nAn administrator must run Stravik to remove them and the "
                            "machine-wide registry entries."}));
    for (const std::string& file : templateFiles) {
        EXPECT_FALSE(machine.exists(file)) << file;
    }
    for (const std::string& file : windowsFiles) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }
    EXPECT_EQ(machine.registryBytes(), registry);
}

// The console program on the same machine: check finds the installation,
// remove takes what the window's Remove takes and, the log's name taken by
// a folder, keeps its record in a new file beside it; a check after it
// finds nothing.
TEST_F(ProgramTest, ConsoleProgramRemovesWithItsRecordBesideATakenLogName) {
    fs::create_directories(machine.root() / "logs" / "taken.log");
    ProgramRun run = machine.runConsole({"check"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.output.find("\npresent: " + templateFiles[2] + "\n"), std::string::npos);

    run = machine.runConsole({"remove", "/log", "logs/taken.log"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(
        run.output.starts_with("log: cannot open logs/taken.log (Error # 70: Permission "
                               "denied.); this run's record is in logs/taken-"))
        << run.output;
    for (const auto* files : {&templateFiles, &windowsFiles}) {
        for (const std::string& file : *files) {
            EXPECT_FALSE(machine.exists(file)) << file;
        }
    }
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(machine.root() / "logs")) {
        logs.push_back(entry.path());
    }
    ASSERT_EQ(logs.size(), 2u);
    std::ifstream record(logs[0].filename() == "taken.log" ? logs[1] : logs[0]);
    std::vector<std::string> lines;
    for (std::string line; std::getline(record, line);) {
        lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find(" start "), std::string::npos) << lines.front();
    EXPECT_NE(lines.front().find(", elevated yes, "), std::string::npos) << lines.front();
    EXPECT_TRUE(lines.back().ends_with(", exit code 0\r")) << lines.back();

    EXPECT_EQ(machine.runConsole({"check"}).exitStatus, 0);
}

// The stand-in knows an ordinary user, which Wine never is: the user's part
// goes, and 740 (228 to a Unix parent) asks for an administrator.
TEST_F(ProgramTest, ConsoleProgramOfAnOrdinaryUserAsksForAnAdministrator) {
    if (!StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    const ProgramRun run = machine.runConsole({"remove"}, User::unprivileged);
    EXPECT_EQ(run.exitStatus, 740 % 256);
    EXPECT_NE(run.output.find("left: " + windowsFiles[0] + "\n"), std::string::npos);
    EXPECT_FALSE(machine.exists(templateFiles[0]));
}

// A Remove refused before its first deletion: one message, and every file
// and the registry as they were.
struct Refusal {
    std::string name;
    std::function<void(StandInMachine&)> prepare;
    std::string message;
    User user = User::administrator;
};

class RefusalTest : public ProgramTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, ChangesNothing) {
    const Refusal& refusal = GetParam();
    if (refusal.user == User::unprivileged && !StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    refusal.prepare(machine);
    const std::vector<fs::path> files = filesLeft();
    const std::string registry = machine.registryBytes();

    const ProgramRun run = machine.run(removeThenExit, refusal.user);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{refusal.message});
    EXPECT_EQ(filesLeft(), files);
    EXPECT_EQ(machine.registryBytes(), registry);
}

// A link planted at a folder on the way to the templates, to a folder of
// someone else's files, inside the drive or off it.
std::function<void(StandInMachine&)> plant(std::string folder, std::string target) {
    return [=](StandInMachine& machine) {
        fs::remove_all(machine.hostPath(folder));
        machine.createFile(target + R"(\template\Victim.dll)", "victim");
        machine.createFile(target + R"(\Victim.dll)", "victim");
        machine.makeReadOnly(target + R"(\Victim.dll)");
        machine.createSymlink(folder, machine.hostPath(target));
    };
}

std::string linkRefused(const std::string& folder) {
    return "Error # 75: Path/File access error: " + folder + " is a link to another folder.";
}

INSTANTIATE_TEST_SUITE_P(
    Remove, RefusalTest,
    ::testing::Values(Refusal{"MissingTemplateFolder",
                              [](StandInMachine& machine) {
                                  fs::remove_all(machine.hostPath(R"(H:\Halvoran\template)"));
                              },
                              "Error # 76: Path not found."},
                      Refusal{"TemplateLinkOnTheDrive",
                              plant(R"(H:\Halvoran\template)", R"(H:\Elsewhere\template)"),
                              linkRefused(R"(H:\Halvoran\template)")},
                      Refusal{"TemplateLinkOffTheDrive",
                              plant(R"(H:\Halvoran\template)", windowsDirectory + R"(\template)"),
                              linkRefused(R"(H:\Halvoran\template)")},
                      Refusal{"HalvoranLinkOnTheDrive", plant(R"(H:\Halvoran)", R"(H:\Elsewhere)"),
                              linkRefused(R"(H:\Halvoran)")},
                      Refusal{"HalvoranLinkOffTheDrive", plant(R"(H:\Halvoran)", windowsDirectory),
                              linkRefused(R"(H:\Halvoran)")},
                      Refusal{"DeviceGone",
                              [](StandInMachine& machine) {
                                  fs::remove_all(machine.root() / "drive_h");
                                  fs::create_directory_symlink(machine.root() / "unplugged",
                                                               machine.root() / "drive_h");
                              },
                              "Error # 68: Device unavailable."},
                      // A folder whose entries its owner may not remove.
                      Refusal{"FileTheUserMayNotDelete",
                              [](StandInMachine& machine) {
                                  machine.makeReadOnly(R"(H:\Halvoran\template)");
                              },
                              "Error # 70: Permission denied.", User::unprivileged}),
    [](const auto& info) { return info.param.name; });

// The estate report on the stand-in's own files, whose owners are its
// users: root stands for SYSTEM and the Administrators. A squatter's file
// speaks for no one, a link or a pipe put among the logs is refused without
// a wait, and one log claiming thousands of computers makes a few rows.
TEST(ConsoleReport, TrustsEachLogByItsOwnerAndRefusesWhatIsNoFile) {
    const auto uidOf = [](const char* name) {
        const passwd* user = ::getpwnam(name);
        return user != nullptr ? std::optional<uid_t>(user->pw_uid) : std::nullopt;
    };
    const std::optional<uid_t> daemon = uidOf("daemon");
    const std::optional<uid_t> nobody = uidOf("nobody");
    if (::geteuid() != 0 || !daemon || !nobody) {
        GTEST_SKIP() << "giving files to the users daemon and nobody needs root and both users";
    }
    StandInMachine machine;
    const fs::path logs = machine.root() / "logs";
    fs::create_directories(logs / "computers");
    fs::create_directories(logs / "users");
    const auto write = [&](const fs::path& path, uid_t owner, const std::string& computer,
                           const std::string& user, const std::string& time, int code) {
        const std::string prefix = time + " " + computer + "[7] ";
        std::ofstream(path, std::ios::binary | std::ios::app)
            << prefix << "start " << time << ", version 1.00, format 1, command remove, scope "
            << (user == "SYSTEM" ? "machine" : "user") << ", user " << user
            << ", elevated no, command line: x\r\n"
            << prefix << "end " << time << ", exit code " << code << "\r\n";
        ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0) << path;
    };
    write(logs / "computers/PC1.log", 0, "PC1", "SYSTEM", "2026-12-09T07:00:00Z", 0);
    write(logs / "users/PC1-daemon.log", *daemon, "PC1", "daemon", "2026-12-09T08:00:00Z", 0);
    // daemon took nobody's name first, and forged a clean run in it.
    write(logs / "users/PC2-nobody.log", *daemon, "PC2", "nobody", "2026-12-09T11:00:00Z", 0);
    write(logs / "users/PC2-nobody-20261209T083000Z-7.log", *nobody, "PC2", "nobody",
          "2026-12-09T08:30:00Z", 70);
    write(logs / "users/pc2-nobody-20261209T110000Z-8.log", *daemon, "PC2", "nobody",
          "2026-12-09T11:00:00Z", 0);
    write(logs / "users/PC5-anna.log", 54321, "PC5", "anna", "2026-12-09T08:00:00Z", 0);
    ASSERT_EQ(::mkfifo((logs / "users/PC3-x.log").c_str(), 0600), 0);
    fs::create_symlink(logs / "computers/PC1.log", logs / "computers/PC4.log");
    // Sweeps of home folders, by root and by another user.
    for (const auto& [name, owner] : {std::pair{"FS1", uid_t{0}}, std::pair{"FS2", *daemon}}) {
        const fs::path sweep = logs / "homes" / (std::string(name) + ".log");
        fs::create_directories(sweep.parent_path());
        const std::string prefix = std::string("2026-12-09T02:00:00Z ") + name + "[9] ";
        std::ofstream(sweep, std::ios::binary)
            << prefix
            << "start 2026-12-09T02:00:00Z, version 1.00, format 1, command remove, scope home, "
               "user SYSTEM, elevated yes, command line: x\r\n"
            << prefix << "homes folder: \\\\fs1\\homes\\\r\n"
            << prefix << "home emptied: \\\\fs1\\homes\\anna\r\n"
            << prefix << "end 2026-12-09T02:00:01Z, exit code 0\r\n";
        ASSERT_EQ(::chown(sweep.c_str(), owner, static_cast<gid_t>(-1)), 0) << sweep;
    }
    std::string flood;
    for (int computer = 0; computer < 3000; ++computer) {
        const std::string prefix = "2026-12-09T09:00:00Z PCX" + std::to_string(computer) + "[1] ";
        flood += prefix +
                 "start 2026-12-09T09:00:00Z, version 1.00, format 1, command remove, scope user, "
                 "user daemon, elevated no, command line: x\r\n" +
                 prefix + "end 2026-12-09T09:00:01Z, exit code 0\r\n";
    }
    std::ofstream(logs / "users/PC6-daemon.log", std::ios::binary) << flood;
    ASSERT_EQ(::chown((logs / "users/PC6-daemon.log").c_str(), *daemon, -1), 0);

    // An absolute folder is a folder, not an option.
    const ProgramRun run = machine.runConsole({"report", logs.string(), "/csv", "report.csv"});
    EXPECT_EQ(run.exitStatus, 1) << run.output << run.errors;
    std::ifstream csvFile(machine.root() / "report.csv", std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(csvFile), {}};
    const auto stateOf = [&](const std::string& start) {
        const std::size_t row = csv.find("\r\n\"" + start);
        std::size_t cell = row;
        for (int column = 0; column < 8 && cell != std::string::npos; ++column) {
            cell = csv.find("\",\"", cell + 1);
        }
        return cell == std::string::npos ? std::string("(none)")
                                         : csv.substr(cell + 3, csv.find('"', cell + 3) - cell - 3);
    };
    EXPECT_EQ(stateOf("PC1\",\"machine\""), "clean") << csv;
    EXPECT_EQ(stateOf("PC1\",\"user\",\"daemon\""), "clean");
    EXPECT_EQ(stateOf("PC2\",\"machine\""), "never reported");
    EXPECT_EQ(stateOf("PC2\",\"user\",\"nobody\""), "permission denied or in use");
    EXPECT_EQ(stateOf("\",\"log\",\"\",\"logs/users/PC2-nobody.log\""), "log name taken");
    EXPECT_EQ(stateOf("\",\"log\",\"\",\"logs/users/PC5-anna.log\""), "owner unknown");
    EXPECT_EQ(stateOf("\\\\fs1\\homes\\\",\"home\",\"anna\""), "clean");
    EXPECT_EQ(stateOf("\",\"log\",\"\",\"logs/homes/FS2.log\""), "log name taken");
    EXPECT_EQ(stateOf("\",\"log\",\"\",\"logs/users/PC3-x.log\""), "unreadable");
    EXPECT_EQ(stateOf("\",\"log\",\"\",\"logs/computers/PC4.log\""), "unreadable");
    EXPECT_NE(run.output.find("log name taken, owned by daemon (logs/users/PC2-nobody.log)"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("owned by uid 54321, which names no account here"),
              std::string::npos);
    std::size_t floodRows = 0;
    for (std::size_t at = csv.find("PC6-daemon.log"); at != std::string::npos;
         at = csv.find("PC6-daemon.log", at + 1)) {
        ++floodRows;
    }
    EXPECT_LE(floodRows, 9u) << "a log claiming 3000 computers makes a few rows";

    // The report's own input, with the system's reasons.
    const ProgramRun missing = machine.runConsole({"report", "logs", "/computers", "none.txt"});
    EXPECT_EQ(missing.exitStatus, 53);
    EXPECT_EQ(missing.errors, "Error # 53: File not found.\n");
    const ProgramRun folderAsList = machine.runConsole({"report", "logs", "/computers", "logs"});
    EXPECT_EQ(folderAsList.exitStatus, 70);
    const ProgramRun pageIntoFolder = machine.runConsole({"report", "logs", "/html", "logs"});
    EXPECT_EQ(pageIntoFolder.exitStatus, 70) << pageIntoFolder.errors;
}

}  // namespace
}  // namespace stravik::testing
