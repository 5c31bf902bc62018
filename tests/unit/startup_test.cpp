// Start-up: the component, the two lookups, the fallback and the
// drive-not-found exit, and the exit sequence.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_platform.h"
#include "shell/removal_form.h"

namespace stravik::testing {
namespace {

using ::testing::ElementsAre;

const std::string driveKey = "CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\\DriveLocation";
const Text driveNotFound =
    L"Cannot find Halvoran Drive or Windows Directory.  Please contact your System "
    L"Administrator.";

class StartupTest : public ::testing::Test {
protected:
    void storeDrive(const std::string& bytes) {
        platform.classesRootDefaultValues[driveKey] = bytes;
    }

    RecordingPlatform platform;
    RemovalForm form{platform};
};

TEST_F(StartupTest, LoadMakesExactlyTheseCallsInOrder) {
    storeDrive(std::string("H:\0", 3));
    platform.windowsDirectory = "C:\\WINDOWS";
    form.load();
    EXPECT_EQ(platform.calls, (std::vector<std::string>{
                                  "createObject(Scripting.FileSystemObject)",
                                  "RegOpenKeyA(HKCR, " + driveKey + ", handle=0)",
                                  "RegQueryValueExA(256, \"\", 0, buffer=10, length=10)",
                                  "RegCloseKey(256)",
                                  "GetWindowsDirectoryA(144)",
                              }));
    EXPECT_EQ(form.installDrive(), L"H");
    EXPECT_EQ(form.windowsDirectory(), L"C:\\WINDOWS");
    EXPECT_TRUE(form.hasFileSystem());
    EXPECT_TRUE(platform.messages.empty());
}

// What is stored at the drive's key, and the drive taken from it; none
// falls back to the Windows directory's drive.
class StoredDriveTest : public StartupTest,
                        public ::testing::WithParamInterface<std::pair<std::string, Text>> {};

TEST_P(StoredDriveTest, IsTheFirstNonBlankCharacterWithItsCaseKept) {
    storeDrive(GetParam().first);
    platform.windowsDirectory = "D:\\WINNT";
    form.load();
    EXPECT_EQ(form.installDrive(), GetParam().second);
    EXPECT_TRUE(platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Stored, StoredDriveTest,
                         ::testing::Values(std::pair{std::string("H:\\\0", 4), Text(L"H")},
                                           std::pair{std::string("  h\0", 4), Text(L"h")},
                                           // exactly fills the buffer
                                           std::pair{std::string("ABCDEFGHI\0", 10), Text(L"A")},
                                           // the letter is never examined
                                           std::pair{std::string("\x01:\0", 3), Text(L"\x01")},
                                           // unusable: longer than the buffer, empty, only blanks
                                           std::pair{std::string("ABCDEFGHIJ\0", 11), Text(L"D")},
                                           std::pair{std::string("\0", 1), Text(L"D")},
                                           std::pair{std::string("   \0", 4), Text(L"D")}));

TEST_F(StartupTest, NoDriveLocationKeyUsesTheWindowsDirectoryDriveAndStillClosesTheKey) {
    platform.windowsDirectory = "C:\\WINDOWS";
    form.load();
    EXPECT_EQ(form.installDrive(), L"C");
    EXPECT_EQ(form.windowsDirectory(), L"C:\\WINDOWS");
    EXPECT_THAT(platform.callsStartingWith("RegCloseKey"), ElementsAre("RegCloseKey(0)"));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(StartupTest, WindowsDirectoryAtADriveRootKeepsItsSeparator) {
    platform.windowsDirectory = "C:\\";
    form.load();
    EXPECT_EQ(form.windowsDirectory(), L"C:\\");
    EXPECT_EQ(form.installDrive(), L"C");
}

TEST_F(StartupTest, WindowsDirectoryThatDoesNotFitIsNoDirectory) {
    storeDrive(std::string("H:\0", 3));
    platform.windowsDirectory = "C:\\" + std::string(140, 'w');  // 143 characters + terminator fit
    EXPECT_EQ(form.getDriveLocation().size(), 144u);
    platform.windowsDirectory = "C:\\" + std::string(141, 'w');
    EXPECT_EQ(form.getDriveLocation(), L"");
}

TEST_F(StartupTest, GetDriveLocationKeepsTheTerminator) {
    platform.windowsDirectory = "C:\\WINDOWS";
    EXPECT_EQ(form.getDriveLocation(), Text(L"C:\\WINDOWS\0", 11));
}

TEST_F(StartupTest, DriveWithoutWindowsDirectoryGoesOnSilently) {
    storeDrive(std::string("H:\0", 3));
    form.load();
    EXPECT_EQ(form.installDrive(), L"H");
    EXPECT_EQ(form.windowsDirectory(), L"");
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.callsStartingWith("endProgram").empty());
}

TEST_F(StartupTest, NeitherLocationShowsOneMessageThenRunsTheExitSequence) {
    form.load();
    EXPECT_THAT(platform.messages, ElementsAre(driveNotFound));
    const std::vector<std::string> tail(platform.calls.end() - 3, platform.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"showMessage(" + utf8(driveNotFound) + ")",
                                              "unloadWindow()", "endProgram()"}));
    EXPECT_FALSE(form.hasFileSystem());
    EXPECT_EQ(platform.componentsAlive, 0);
}

TEST_F(StartupTest, ComponentFailureIsReportedAndDiscoveryIsSkipped) {
    platform.componentAvailable = false;
    platform.windowsDirectory = "C:\\WINDOWS";
    form.load();
    EXPECT_THAT(platform.messages,
                ElementsAre(L"Error # 429: ActiveX component can't create object."));
    EXPECT_THAT(platform.calls, ElementsAre("createObject(Scripting.FileSystemObject)",
                                            ::testing::StartsWith("showMessage(Error # 429")));
    EXPECT_EQ(form.installDrive(), L"");
    EXPECT_EQ(form.windowsDirectory(), L"");
}

TEST_F(StartupTest, FailedRegistryLookupReportsOnceAndTheFallbackStillApplies) {
    // A registry entry point that cannot be found raises.
    platform.raiseOn["RegOpenKeyA(HKCR, " + driveKey + ", handle=0)"] =
        ErrorInfo{453, L"Specified DLL function not found"};
    platform.windowsDirectory = "C:\\WINDOWS";
    form.load();
    EXPECT_THAT(platform.messages, ElementsAre(L"Error # 453: Specified DLL function not found."));
    EXPECT_EQ(form.installDrive(), L"C");
    EXPECT_EQ(form.windowsDirectory(), L"C:\\WINDOWS");
    EXPECT_THAT(platform.callsStartingWith("RegCloseKey"), ElementsAre("RegCloseKey(0)"));
}

TEST_F(StartupTest, FailedQueryStillClosesTheOpenedKey) {
    storeDrive(std::string("H:\0", 3));
    platform.raiseOn["RegQueryValueExA(256, \"\", 0, buffer=10, length=10)"] = ErrorInfo{5, L"x"};
    form.load();
    EXPECT_THAT(platform.callsStartingWith("RegCloseKey"), ElementsAre("RegCloseKey(256)"));
    EXPECT_EQ(form.installDrive(), L"");
}

TEST_F(StartupTest, BothLookupsFailingEndInTheDriveNotFoundExit) {
    platform.raiseOn["RegOpenKeyA(HKCR, " + driveKey + ", handle=0)"] = ErrorInfo{48, L"A"};
    platform.raiseOn["GetWindowsDirectoryA(144)"] = ErrorInfo{48, L"B"};
    form.load();
    EXPECT_THAT(platform.messages,
                ElementsAre(L"Error # 48: A.", L"Error # 48: B.", driveNotFound));
    EXPECT_EQ(platform.calls.back(), "endProgram()");
}

TEST_F(StartupTest, ExitReleasesTheComponentUnloadsAndEndsWithoutAMessage) {
    storeDrive(std::string("H:\0", 3));
    form.load();
    platform.calls.clear();
    form.btnExitClick();
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"unloadWindow()", "endProgram()"}));
    EXPECT_FALSE(form.hasFileSystem());
    EXPECT_EQ(platform.componentsAlive, 0);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(StartupTest, ExitSequenceGoesOnWhenUnloadingFails) {
    platform.raiseOn["unloadWindow()"] = ErrorInfo{5, L"x"};
    form.btnExitClick();
    EXPECT_EQ(platform.calls.back(), "endProgram()");
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(StartupTest, TerminateReleasesTheComponentOnly) {
    storeDrive(std::string("H:\0", 3));
    form.load();
    platform.calls.clear();
    form.terminate();
    EXPECT_TRUE(platform.calls.empty());
    EXPECT_EQ(platform.componentsAlive, 0);
}

}  // namespace
}  // namespace stravik::testing
