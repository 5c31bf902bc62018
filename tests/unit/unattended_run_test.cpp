// The console program's run: its command line, what each scope touches,
// and the exit codes that deployment tools read.

#include "console/unattended_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_platform.h"

namespace stravik::console {
namespace {

using stravik::testing::RecordingPlatform;
using stravik::testing::utf8;
using ::testing::Contains;
using ::testing::IsEmpty;

TEST(CommandLineTest, TakesOneCommandWithItsOptionsInAnySpellingAndRefusesTheRest) {
    const auto parsed = [](std::vector<Text> arguments) { return parseCommandLine(arguments); };

    const auto full = parsed({L"REMOVE", L"--Machine", L"-log", L"C:\\l o g.txt", L"/QUIET"});
    ASSERT_TRUE(full);
    EXPECT_EQ(full->action, Action::remove);
    EXPECT_EQ(full->scope, Scope::machine);
    EXPECT_EQ(full->logPath, Text(L"C:\\l o g.txt"));
    EXPECT_TRUE(full->quiet);
    EXPECT_EQ(parsed({L"check", L"/user"})->scope, Scope::user);
    EXPECT_EQ(parsed({L"check"})->scope, Scope::everything);
    EXPECT_EQ(parsed({L"/?"})->action, Action::help);
    EXPECT_EQ(parsed({L"remove", L"-DRIVE", L"h:", L"/user"})->installDrive, Text(L"H"));
    EXPECT_EQ(parsed({L"check", L"/drive", L"Q"})->installDrive, Text(L"Q"));
    // "X:\" in double quotes arrives as X:".
    const auto root = parsed({L"check", L"/root", L"X:\""});
    ASSERT_TRUE(root);
    EXPECT_EQ(root->templateRoot, Text(L"X:\\"));
    EXPECT_EQ(root->scope, Scope::user);
    EXPECT_EQ(parsed({L"remove", L"/user", L"/root", L"\\\\fs\\homes\\anna"})->templateRoot,
              Text(L"\\\\fs\\homes\\anna\\"));
    EXPECT_EQ(parsed({L"remove", L"/homes", L"\\\\fs\\homes\""})->homesFolder,
              Text(L"\\\\fs\\homes\\"));
    const auto report = parsed({L"Report", L"\\\\server\\logs", L"-CSV", L"a.csv", L"/days", L"30",
                                L"more logs", L"--computers", L"pcs.txt"});
    ASSERT_TRUE(report);
    EXPECT_EQ(report->action, Action::report);
    EXPECT_EQ(report->report.folders, (std::vector<Text>{L"\\\\server\\logs", L"more logs"}));
    EXPECT_EQ(report->report.csvPath, Text(L"a.csv"));
    EXPECT_EQ(report->report.computersPath, Text(L"pcs.txt"));
    EXPECT_EQ(report->report.staleDays, 30);
}

class WrongCommandLineTest : public ::testing::TestWithParam<std::vector<Text>> {};

TEST_P(WrongCommandLineTest, IsRefused) { EXPECT_FALSE(parseCommandLine(GetParam())); }

INSTANTIATE_TEST_SUITE_P(
    Refused, WrongCommandLineTest,
    ::testing::Values(
        std::vector<Text>{}, std::vector<Text>{L"/machine"}, std::vector<Text>{L"uninstall"},
        std::vector<Text>{L"check", L"remove"}, std::vector<Text>{L"check", L"/machine", L"/user"},
        std::vector<Text>{L"check", L"/log"},
        std::vector<Text>{L"check", L"/log", L"a", L"/log", L"b"},
        std::vector<Text>{L"check", L"/quite"}, std::vector<Text>{L"check", L"/?"},
        std::vector<Text>{L"check", L"/"}, std::vector<Text>{L"check", L"/drive"},
        std::vector<Text>{L"check", L"/drive", L"HH"},
        std::vector<Text>{L"check", L"/drive", L"H:\\"},
        std::vector<Text>{L"check", L"/drive", L"1"},
        std::vector<Text>{L"check", L"/drive", L"H", L"/drive", L"H"},
        std::vector<Text>{L"remove", L"/machine", L"/drive", L"H"},
        std::vector<Text>{L"check", L"/root", L"homes\\anna"},
        std::vector<Text>{L"check", L"/root", L""}, std::vector<Text>{L"check", L"/root", L"H:"},
        std::vector<Text>{L"check", L"/root", L"\\\\fs"},
        std::vector<Text>{L"check", L"/root", L"\\\\fs\\homes\\*"},
        std::vector<Text>{L"check", L"/root", L"H:\\", L"/drive", L"H"},
        std::vector<Text>{L"check", L"/root", L"H:\\", L"/machine"},
        std::vector<Text>{L"check", L"/root", L"H:\\", L"/homes", L"H:\\"},
        std::vector<Text>{L"check", L"/homes", L"H:\\", L"/machine"}, std::vector<Text>{L"report"},
        std::vector<Text>{L"report", L"x", L"/days", L"0"},
        std::vector<Text>{L"report", L"x", L"/days", L"1e3"},
        std::vector<Text>{L"report", L"x", L"/csv"},
        std::vector<Text>{L"report", L"x", L"/log", L"y"}));

// What the console shows (`lines`) and what the log's record gets.
class Lines final : public Output {
public:
    void line(const Text& text) override {
        consoleOnly(text);
        recordOnly(text);
    }
    void consoleOnly(const Text& text) override { lines.push_back(utf8(text)); }
    void recordOnly(const Text& text) override { record.push_back(utf8(text)); }
    std::vector<std::string> lines;
    std::vector<std::string> record;
};

const Text templates = L"H:\\Halvoran\\template\\";
const Text control = L"C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX";

class UnattendedRunTest : public ::testing::Test {
protected:
    void SetUp() override { platform.seedTypicalPc({L"a.dot"}); }

    int run(Action action, Scope scope = Scope::everything, const Text& drive = Text()) {
        platform.calls.clear();
        output.lines.clear();
        output.record.clear();
        CommandLine command;
        command.action = action;
        command.scope = scope;
        command.installDrive = drive;
        return runCommand(platform, command, output).exitCode;
    }

    // The PC as the start-up script's `remove /machine` leaves it: the
    // Windows directory's files gone, and the registration with the drive
    // it records; the template folder on the mapped H: as it was.
    void seedMachinePartRemoved() {
        platform.folders[L"H:\\"] = {};
        platform.classesRootDefaultValues.clear();
        platform.existingFiles = {templates + L"a.dot"};
    }

    // Then the logon script's `remove /user /drive H` too: nothing left.
    void seedBothPartsRemoved() {
        seedMachinePartRemoved();
        platform.existingFiles.clear();
    }

    void raiseOnDeletingTheControl(ErrorInfo error) {
        platform.raiseOn["DeleteFile(" + utf8(control) + ", force)"] = std::move(error);
    }

    RecordingPlatform platform;
    Lines output;
};

// Each scope touches its own part only.

TEST_F(UnattendedRunTest, TheUserPartDeletesTheTemplatesAndNothingOfTheMachine) {
    EXPECT_EQ(run(Action::remove, Scope::user), exitCode::nothingLeft);
    EXPECT_THAT(platform.callsStartingWith("deleteFile"), Contains(::testing::HasSubstr("a.dot")));
    EXPECT_THAT(platform.callsStartingWith("FileExists"), IsEmpty());
    EXPECT_THAT(platform.callsStartingWith("SHDelete"), IsEmpty());
    EXPECT_THAT(output.lines, Contains("removed: H:\\Halvoran\\template\\a.dot"));
}

TEST_F(UnattendedRunTest, TheMachinePartAsksForNoTemplateFolder) {
    platform.folders.clear();
    EXPECT_EQ(run(Action::remove, Scope::machine), exitCode::nothingLeft);
    EXPECT_THAT(platform.callsStartingWith("pinFolderPath"), IsEmpty());
    EXPECT_EQ(platform.callsStartingWith("SHDelete").size(), 31u);
    EXPECT_THAT(output.lines, Contains("removed: " + utf8(control)));
    EXPECT_THAT(output.lines, Contains("removed: C:\\WINDOWS\\Halvoran.dotm"));
}

TEST_F(UnattendedRunTest, EverythingStopsAtAMissingTemplateFolderAsTheWindowDoes) {
    platform.folders.clear();
    EXPECT_EQ(run(Action::remove), 76);
    EXPECT_THAT(platform.callsStartingWith("SHDelete"), IsEmpty());
}

// The exit codes say what is left.

// Without administrator rights the user's files go and the machine's stay:
// 740 tells the tool that an administrator must run it.
TEST_F(UnattendedRunTest, WithoutAdministratorRightsTheMachinesPartIsLeftWith740) {
    platform.administrator = 0;
    platform.registryDeleteStatus = 5;
    EXPECT_EQ(run(Action::remove), exitCode::elevationRequired);
    EXPECT_FALSE(platform.existingFiles.contains(templates + L"a.dot"));
    EXPECT_TRUE(platform.existingFiles.contains(control));
    EXPECT_THAT(output.lines, Contains("left: " + utf8(control)));
}

// A control in use goes at the next restart; the rest, registry included,
// goes now.
TEST_F(UnattendedRunTest, AControlInUseGoesAtTheNextRestartWith3010) {
    platform.registryDeleteStatus = 0;
    raiseOnDeletingTheControl(ErrorInfo{70, L"Permission denied"});
    platform.filesInUse = {control};
    EXPECT_EQ(run(Action::remove, Scope::machine), exitCode::restartNeeded);
    EXPECT_EQ(platform.callsStartingWith("SHDelete").size(), 31u);
    EXPECT_THAT(output.lines, Contains("deleted at the next restart: " + utf8(control)));
}

TEST_F(UnattendedRunTest, AControlNotInUseThatWillNotGoStopsTheRunWithItsNumber) {
    raiseOnDeletingTheControl(ErrorInfo{70, L"Permission denied"});
    EXPECT_EQ(run(Action::remove, Scope::machine), 70);
    EXPECT_THAT(platform.callsStartingWith("SHDelete"), IsEmpty());
    EXPECT_THAT(platform.messages, Contains(Text(L"Error # 70: Permission denied.")));
}

TEST_F(UnattendedRunTest, AFailureWithoutAClassicNumberExitsWithItsHresult) {
    raiseOnDeletingTheControl(ErrorInfo{-2147467259, L"Unspecified error"});
    EXPECT_EQ(run(Action::remove, Scope::machine), -2147467259);
    // One that came with no number at all never reads as success.
    platform.raiseOn["DeleteFile(" + utf8(control) + ", force)"] = ErrorInfo{0, L""};
    EXPECT_EQ(run(Action::remove, Scope::machine), exitCode::unspecifiedFailure);
}

// The start-up script removes the machine's part, the registration with the
// drive it records among it; the logon script then removes the user's part
// on the drive it is given, and both run again at every start and logon.

TEST_F(UnattendedRunTest, AfterTheMachinePartCheckFindsTheTemplatesOnTheDriveGiven) {
    seedMachinePartRemoved();
    EXPECT_EQ(run(Action::check, Scope::user, L"H"), exitCode::found);
    EXPECT_THAT(output.lines,
                Contains("template folder: H:\\Halvoran\\template\\ (drive from /drive)"));
}

TEST_F(UnattendedRunTest, AfterTheMachinePartRemoveTakesTheTemplatesOnTheDriveGiven) {
    seedMachinePartRemoved();
    EXPECT_EQ(run(Action::remove, Scope::user, L"H"), exitCode::nothingLeft);
    EXPECT_THAT(output.lines, Contains("removed: H:\\Halvoran\\template\\a.dot"));
}

TEST_F(UnattendedRunTest, RemoveAgainAfterBothPartsFinishesClean) {
    seedBothPartsRemoved();
    EXPECT_EQ(run(Action::remove, Scope::everything, L"H"), exitCode::nothingLeft);
}

// The template folder gone: nothing left, nothing touched, and the record
// counts what is not there instead of listing it.
TEST_F(UnattendedRunTest, ATemplateFolderGoneIsNotThereAndTheRecordStaysShort) {
    seedBothPartsRemoved();
    platform.folders.erase(templates);
    EXPECT_EQ(run(Action::remove, Scope::user, L"H"), exitCode::nothingLeft);
    EXPECT_THAT(platform.callsStartingWith("deleteFile"), IsEmpty());
    EXPECT_THAT(output.lines, Contains("not there: H:\\Halvoran\\template\\"));
    EXPECT_THAT(output.record,
                ::testing::ElementsAre(
                    "template folder: H:\\Halvoran\\template\\ (drive from /drive)",
                    "summary: removed 0, not there 1, left 0, deleted at the next restart 0, "
                    "present 0, cannot be reached 0"));
}

TEST_F(UnattendedRunTest, CheckAfterBothPartsFindsNothing) {
    seedBothPartsRemoved();
    platform.folders.erase(templates);
    EXPECT_EQ(run(Action::check, Scope::user, L"H"), exitCode::nothingLeft);
}

// Without a drive given, the Windows directory's drive stands in for the
// registration that is gone, and the record says so.
TEST_F(UnattendedRunTest, WithoutTheRegistrationTheWindowsDirectorysDriveStandsIn) {
    seedBothPartsRemoved();
    platform.folders = {{L"C:\\", {}}};
    EXPECT_EQ(run(Action::check), exitCode::nothingLeft);
    EXPECT_THAT(output.lines,
                Contains("template folder: C:\\Halvoran\\template\\ (drive from the Windows "
                         "directory)"));
}

// A check changes nothing and counts an unreachable drive as present.

TEST_F(UnattendedRunTest, CheckChangesNothing) {
    EXPECT_EQ(run(Action::check), exitCode::found);
    EXPECT_THAT(platform.callsStartingWith("deleteFile"), IsEmpty());
    EXPECT_THAT(platform.callsStartingWith("SHDelete"), IsEmpty());
    EXPECT_THAT(output.lines, Contains("present: H:\\Halvoran\\template\\a.dot"));
}

TEST_F(UnattendedRunTest, CheckFindsNothingInAFolderMissingOnADriveThatIsThere) {
    platform.existingFiles.clear();
    platform.folders = {{L"H:\\", {}}};
    EXPECT_EQ(run(Action::check, Scope::user), exitCode::nothingLeft);
}

TEST_F(UnattendedRunTest, CheckCountsAnUnreachableDriveAsPresent) {
    platform.existingFiles.clear();
    platform.folders.clear();  // no drive H: at all
    EXPECT_EQ(run(Action::check, Scope::user), exitCode::found);
    EXPECT_THAT(output.lines, Contains("cannot be reached: H:\\Halvoran\\template\\"));
}

TEST_F(UnattendedRunTest, TheMachinesCheckLooksForNoDrive) {
    platform.existingFiles.clear();
    platform.folders.clear();
    EXPECT_EQ(run(Action::check, Scope::machine), exitCode::nothingLeft);
}

}  // namespace
}  // namespace stravik::console
