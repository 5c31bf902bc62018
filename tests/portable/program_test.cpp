// The real program run on stand-in machines: what the user sees, what is
// left on disk and in registry.reg.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/portable/registry_store.h"
#include "stand_in_machine.h"

namespace stravik::testing {
namespace {

using portable::RegistryStore;
using Messages = std::vector<std::string>;

constexpr std::string_view finished = "Finished removing Halvoran OCX files!";
constexpr std::string_view driveNotFound =
    "Cannot find Halvoran Drive or Windows Directory.  Please contact your System "
    "Administrator.";
// Remove, OK for its message, Exit.
constexpr std::string_view removeThenExit = "r\n\ne\n";

constexpr std::string_view registryHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr std::string_view driveLocationH =
    "[HKEY_CLASSES_ROOT\\CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\\DriveLocation]\n"
    "@=\"H:\"\n\n";
constexpr std::string_view systemRootWindows =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n\n";

// Every registry record a Halvoran installation leaves, some spelled under
// HKEY_CLASSES_ROOT and some under its machine-wide home, with neighbours
// that must survive.
constexpr std::string_view installationRecords =
    R"([HKEY_CLASSES_ROOT\AppID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}]
@="QuorwenDocumentAutomation"

[HKEY_CLASSES_ROOT\CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}]
@="Quorwen Document Automation"

[HKEY_CLASSES_ROOT\CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\InprocServer32]
@="C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX"
"ThreadingModel"="Apartment"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\QuorwenDocumentAutomation.OCX]
"AppID"="{AE2426ED-27E8-43EA-A844-3621CB40BE0F}"

[HKEY_CLASSES_ROOT\TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\1.0]
@="Quorwen 1.0, not ours to remove"

[HKEY_CLASSES_ROOT\TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\2.0]
@="Quorwen Document Automation 2.0"

[HKEY_CLASSES_ROOT\TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\2.0\0\win32]
@="C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}]
"SystemComponent"=dword:00000000

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\Contains\Files]
"C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX"=""

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\C:/WINDOWS/Downloaded Program Files/QuorwenDocumentAutomation.OCX]
".Owner"="{AE2426ED-27E8-43EA-A844-3621CB40BE0F}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\C:/WINDOWS/Downloaded Program Files/CONFLICT.10/QuorwenDocumentAutomation.OCX]
".Owner"="{AE2426ED-27E8-43EA-A844-3621CB40BE0F}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\C:/WINDOWS/Downloaded Program Files/CONFLICT.11/QuorwenDocumentAutomation.OCX]
".Owner"="{AE2426ED-27E8-43EA-A844-3621CB40BE0F}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs]
"C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX"=dword:00000001
"C:\\WINDOWS\\Downloaded Program Files\\CONFLICT.3\\QuorwenDocumentAutomation.OCX"=dword:00000001
"C:\\WINDOWS\\Downloaded Program Files\\CONFLICT.0\\QuorwenDocumentAutomation.OCX"=dword:00000001
"C:\\WINDOWS\\system32\\comctl32.ocx"=dword:00000003

)";

const std::vector<std::string_view> installedFiles = {
    R"(H:\Halvoran\template\Letter.dotx)",
    R"(H:\Halvoran\template\Memo.dotx)",
    R"(C:\WINDOWS\Downloaded Program Files\QuorwenDocumentAutomation.OCX)",
    R"(C:\WINDOWS\Halvoran.dotm)",
    R"(C:\WINDOWS\Halvoran.dot)",
};
const std::vector<std::string_view> neighbourFiles = {
    R"(H:\Halvoran\template\archive\Old.dotx)",
    R"(H:\Halvoran\readme.txt)",
    R"(C:\WINDOWS\Downloaded Program Files\Other.ocx)",
    R"(C:\WINDOWS\notepad.exe)",
};

class ProgramTest : public ::testing::Test {
protected:
    void installHalvoran() {
        machine.writeRegistry(std::string(registryHeader) + std::string(driveLocationH) +
                              std::string(systemRootWindows) + std::string(installationRecords));
        for (const auto* files : {&installedFiles, &neighbourFiles}) {
            for (const std::string_view file : *files) {
                machine.createFile(file, "content");
            }
        }
    }

    bool hasKey(const Text& path) const {
        RegistryStore store(machine.root() / "registry.reg");
        store.load();
        return store.keyExists(RegistryRoot::localMachine, path);
    }
    bool hasValue(const Text& path, const Text& name) const {
        RegistryStore store(machine.root() / "registry.reg");
        store.load();
        return store.findValue(RegistryRoot::localMachine, path, name) != nullptr;
    }

    StandInMachine machine;
};

const Text moduleUsage = LR"(SOFTWARE\Microsoft\Windows\CurrentVersion\ModuleUsage\)";
const Text sharedDlls = LR"(SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs)";

TEST_F(ProgramTest, StartsWithItsWindowAndExitsQuietly) {
    machine.writeRegistry(std::string(registryHeader) + std::string(driveLocationH) +
                          std::string(systemRootWindows));

    const ProgramRun run = machine.run("e\n");

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(run.windowDrawn());
    EXPECT_NE(run.output.find("[ Remove Halvoran OCX ]"), std::string::npos);
    EXPECT_NE(run.output.find("[ Exit Removal Tool ]"), std::string::npos);
    EXPECT_EQ(run.messages(), Messages{});
    EXPECT_EQ(run.errors, "");
}

TEST_F(ProgramTest, EndOfInputClosesTheWindowQuietly) {
    installHalvoran();
    const std::string registryBefore = machine.registryBytes();

    for (const std::string_view input : {"", "nonsense\n\n  \n"}) {
        const ProgramRun run = machine.run(input);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_TRUE(run.windowDrawn());
        EXPECT_EQ(run.messages(), Messages{});
    }
    EXPECT_EQ(machine.registryBytes(), registryBefore);
    EXPECT_TRUE(machine.exists(installedFiles.front()));
}

TEST_F(ProgramTest, NothingHappensAfterExit) {
    installHalvoran();

    const ProgramRun run = machine.run("e\nr\n\n");

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{});
    EXPECT_TRUE(machine.exists(installedFiles.front()));
}

TEST_F(ProgramTest, EmptyMachineGivesTheDriveNotFoundMessageAndEnds) {
    const ProgramRun run = machine.run("r\n\nr\n\n");

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_FALSE(run.windowDrawn());
    EXPECT_EQ(run.messages(), Messages{std::string(driveNotFound)});
}

TEST_F(ProgramTest, ReadsARegistryExportedInUtf16) {
    machine.writeRegistryUtf16(std::string(registryHeader) + std::string(systemRootWindows));
    machine.createFile(R"(C:\Halvoran\template\Letter.dotx)");

    // No DriveLocation: the template folder is on the Windows directory's drive.
    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    EXPECT_FALSE(machine.exists(R"(C:\Halvoran\template\Letter.dotx)"));
}

TEST_F(ProgramTest, RemoveTakesOffATypicalInstallationCompletely) {
    installHalvoran();
    machine.makeReadOnly(R"(H:\Halvoran\template\Memo.dotx)");
    machine.makeReadOnly(R"(C:\WINDOWS\Halvoran.dot)");

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    for (const std::string_view file : installedFiles) {
        EXPECT_FALSE(machine.exists(file)) << file;
    }
    for (const std::string_view file : neighbourFiles) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }
    EXPECT_TRUE(machine.exists(R"(H:\Halvoran\template)"));

    EXPECT_FALSE(hasKey(LR"(SOFTWARE\Classes\AppID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F})"));
    EXPECT_FALSE(hasKey(LR"(SOFTWARE\Classes\CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F})"));
    EXPECT_FALSE(hasKey(LR"(SOFTWARE\Classes\QuorwenDocumentAutomation.OCX)"));
    EXPECT_FALSE(hasKey(LR"(SOFTWARE\Classes\TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\2.0)"));
    EXPECT_TRUE(hasKey(LR"(SOFTWARE\Classes\TypeLib\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\1.0)"));
    EXPECT_FALSE(hasKey(
        LR"(SOFTWARE\Microsoft\Code Store Database\Distribution Units\{AE2426ED-27E8-43EA-A844-3621CB40BE0F})"));
    EXPECT_TRUE(hasKey(LR"(SOFTWARE\Microsoft\Code Store Database\Distribution Units)"));
    EXPECT_FALSE(
        hasKey(moduleUsage + L"C:/WINDOWS/Downloaded Program Files/QuorwenDocumentAutomation.OCX"));
    EXPECT_FALSE(
        hasKey(moduleUsage +
               L"C:/WINDOWS/Downloaded Program Files/CONFLICT.10/QuorwenDocumentAutomation.OCX"));
    EXPECT_TRUE(
        hasKey(moduleUsage +
               L"C:/WINDOWS/Downloaded Program Files/CONFLICT.11/QuorwenDocumentAutomation.OCX"));
    EXPECT_FALSE(hasValue(sharedDlls,
                          LR"(C:\WINDOWS\Downloaded Program Files\QuorwenDocumentAutomation.OCX)"));
    EXPECT_FALSE(hasValue(
        sharedDlls,
        LR"(C:\WINDOWS\Downloaded Program Files\CONFLICT.3\QuorwenDocumentAutomation.OCX)"));
    EXPECT_TRUE(hasValue(
        sharedDlls,
        LR"(C:\WINDOWS\Downloaded Program Files\CONFLICT.0\QuorwenDocumentAutomation.OCX)"));
    EXPECT_TRUE(hasValue(sharedDlls, LR"(C:\WINDOWS\system32\comctl32.ocx)"));
    EXPECT_TRUE(hasValue(LR"(SOFTWARE\Microsoft\Windows NT\CurrentVersion)", L"SystemRoot"));
}

// The files left on a machine, as paths relative to its root.
std::vector<std::filesystem::path> filesLeft(const StandInMachine& machine) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(machine.root())) {
        files.push_back(entry.path().lexically_relative(machine.root()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(ProgramTest, SecondClickDeletesNothingFurtherAndFinishesAgain) {
    installHalvoran();
    StandInMachine clickedOnce;
    std::filesystem::copy(machine.root(), clickedOnce.root(),
                          std::filesystem::copy_options::recursive);
    ASSERT_EQ(clickedOnce.run(removeThenExit).messages(), Messages{std::string(finished)});

    const ProgramRun run = machine.run("r\n\nr\n\ne\n");

    EXPECT_EQ(run.messages(), (Messages{std::string(finished), std::string(finished)}));
    EXPECT_EQ(filesLeft(machine), filesLeft(clickedOnce));
    EXPECT_EQ(machine.registryBytes(), clickedOnce.registryBytes());
}

TEST_F(ProgramTest, NextStartLooksForTheTemplatesOnTheWindowsDrive) {
    installHalvoran();
    ASSERT_EQ(machine.run(removeThenExit).messages(), Messages{std::string(finished)});
    const std::string registryAfterRemoval = machine.registryBytes();
    machine.createFile(R"(C:\WINDOWS\Halvoran.dotm)");

    // The DriveLocation key went with the class key, so the drive is now C,
    // which has no template folder.
    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.messages(), Messages{"Error # 76: Path not found."});
    EXPECT_TRUE(machine.exists(R"(C:\WINDOWS\Halvoran.dotm)"));
    EXPECT_EQ(machine.registryBytes(), registryAfterRemoval);
}

TEST_F(ProgramTest, EmptyTemplateFolderStillRemovesTheRest) {
    installHalvoran();
    for (const std::string_view file : {installedFiles[0], installedFiles[1]}) {
        std::filesystem::remove(machine.hostPath(file));
    }

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    EXPECT_FALSE(machine.exists(R"(C:\WINDOWS\Halvoran.dotm)"));
    EXPECT_FALSE(hasKey(LR"(SOFTWARE\Classes\AppID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F})"));
}

TEST_F(ProgramTest, MissingTemplateFolderChangesNothing) {
    installHalvoran();
    std::filesystem::remove_all(machine.hostPath(R"(H:\Halvoran\template)"));
    const std::string registryBefore = machine.registryBytes();

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{"Error # 76: Path not found."});
    EXPECT_EQ(machine.registryBytes(), registryBefore);
    for (const std::string_view file : {installedFiles[2], installedFiles[3], installedFiles[4]}) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }
}

TEST_F(ProgramTest, LinkInTheTemplateFolderGoesAsALink) {
    installHalvoran();
    machine.createFile(R"(D:\Shared\Letterhead.dotx)", "shared");
    machine.createSymlink(R"(H:\Halvoran\template\Letterhead.dotx)",
                          machine.hostPath(R"(D:\Shared\Letterhead.dotx)"));
    machine.createSymlink(R"(H:\Halvoran\template\Shared)", machine.hostPath(R"(D:\Shared)"));

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    EXPECT_FALSE(machine.exists(R"(H:\Halvoran\template\Letterhead.dotx)"));
    EXPECT_FALSE(machine.exists(R"(H:\Halvoran\template\Shared)"));
    EXPECT_TRUE(machine.exists(R"(D:\Shared\Letterhead.dotx)"));
}

// A link planted at either folder on the way to the templates, leading
// inside the drive or off it, is refused before anything is deleted: one
// message, every file where it was, the registry as it was.
TEST_F(ProgramTest, LinkAtEitherTemplateFolderIsRefusedAndNothingChanges) {
    struct Plant {
        std::string_view link;
        std::string_view target;
        std::string_view refused;
    };
    const std::vector<Plant> plants = {
        {R"(H:\Halvoran\template)", R"(H:\Elsewhere\template)", R"(H:\Halvoran\template)"},
        {R"(H:\Halvoran\template)", R"(C:\WINDOWS\template)", R"(H:\Halvoran\template)"},
        {R"(H:\Halvoran)", R"(H:\Elsewhere)", R"(H:\Halvoran)"},
        {R"(H:\Halvoran)", R"(C:\WINDOWS)", R"(H:\Halvoran)"},
    };
    for (const Plant& plant : plants) {
        StandInMachine attacked;
        attacked.writeRegistry(std::string(registryHeader) + std::string(driveLocationH) +
                               std::string(systemRootWindows) + std::string(installationRecords));
        for (const std::string_view file :
             {installedFiles[2], installedFiles[3], installedFiles[4]}) {
            attacked.createFile(file, "content");
        }
        const std::string target(plant.target);
        attacked.createFile(target + R"(\template\Victim.dll)", "victim");
        attacked.createFile(target + R"(\Victim.dll)", "victim");
        attacked.makeReadOnly(target + R"(\Victim.dll)");
        if (plant.link.ends_with("template")) {
            attacked.createFolder(R"(H:\Halvoran)");
        }
        attacked.createSymlink(plant.link, attacked.hostPath(plant.target));
        const std::vector<std::filesystem::path> filesBefore = filesLeft(attacked);
        const std::string registryBefore = attacked.registryBytes();

        const ProgramRun run = attacked.run(removeThenExit);

        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.messages(),
                  Messages{"Error # 75: Path/File access error: " + std::string(plant.refused) +
                           " is a link to another folder."})
            << plant.link << " -> " << plant.target;
        EXPECT_EQ(filesLeft(attacked), filesBefore) << plant.link << " -> " << plant.target;
        EXPECT_EQ(attacked.registryBytes(), registryBefore);
    }
}

TEST_F(ProgramTest, NamesOutsideAscii) {
    // registry.reg in UTF-16, as regedit writes it, with a Windows directory
    // whose name only Windows-1252 can carry in the narrow calls.
    machine.writeRegistryUtf16(
        std::string(registryHeader) + std::string(driveLocationH) +
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
        "\"SystemRoot\"=\"C:\\\\WINDÖWS\"\n\n");
    machine.createFile("H:\\Halvoran\\template\\Brief für Kunden.dotx");
    machine.createFile("H:\\Halvoran\\template\\Ελληνικά.dot");
    machine.createFile("C:\\WINDÖWS\\Halvoran.dotm");

    const ProgramRun run = machine.run(removeThenExit);

    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    EXPECT_TRUE(std::filesystem::is_empty(machine.hostPath(R"(H:\Halvoran\template)")));
    EXPECT_FALSE(machine.exists("C:\\WINDÖWS\\Halvoran.dotm"));
}

TEST_F(ProgramTest, OrdinaryUserRemovesOnlyTheTemplateFolderFiles) {
    if (!StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    installHalvoran();
    const std::string registryBefore = machine.registryBytes();

    const ProgramRun run = machine.run(removeThenExit, User::unprivileged);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{std::string(finished)});
    EXPECT_FALSE(machine.exists(installedFiles[0]));
    EXPECT_FALSE(machine.exists(installedFiles[1]));
    for (const std::string_view file : {installedFiles[2], installedFiles[3], installedFiles[4]}) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }
    EXPECT_EQ(machine.registryBytes(), registryBefore);
}

TEST_F(ProgramTest, FileTheUserMayNotDeleteStopsTheRemoval) {
    if (!StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    installHalvoran();
    // A folder whose entries its owner may not remove.
    std::filesystem::permissions(machine.hostPath(R"(H:\Halvoran\template)"),
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    const std::string registryBefore = machine.registryBytes();

    const ProgramRun run = machine.run(removeThenExit, User::unprivileged);

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), Messages{"Error # 70: Permission denied."});
    for (const std::string_view file : installedFiles) {
        EXPECT_TRUE(machine.exists(file)) << file;
    }
    EXPECT_EQ(machine.registryBytes(), registryBefore);
}

TEST_F(ProgramTest, MalformedRegistryIsReportedAndKept) {
    machine.writeRegistry(std::string(registryHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\n");
    const std::string registryBefore = machine.registryBytes();

    const ProgramRun run = machine.run("r\n\n\ne\n");

    // Both lookups fail with an "Error #" message each; neither place is
    // known, so the program ends.
    ASSERT_EQ(run.messages().size(), 3u);
    EXPECT_TRUE(run.messages()[0].starts_with("Error # "));
    EXPECT_EQ(run.messages()[2], driveNotFound);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(machine.registryBytes(), registryBefore);
}

}  // namespace
}  // namespace stravik::testing
