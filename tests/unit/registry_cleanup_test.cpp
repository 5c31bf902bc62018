// The registry clean-up: the exact 31 deletions, in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_platform.h"
#include "shell/removal_form.h"

namespace stravik::testing {
namespace {

using ::testing::ElementsAre;

// The calls expected for a Windows directory, written out in full so that a
// wrong separator, a missing step or a reordering shows up as a diff.
std::vector<std::string> expectedCalls(const std::string& windows) {
    const std::string clsid = "{AE2426ED-27E8-43EA-A844-3621CB40BE0F}";
    const std::string typeLib = "TypeLib\\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\\2.0";
    const std::string ocx = "QuorwenDocumentAutomation.OCX";
    const std::string usage = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
    const std::string shared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\";
    std::string slashed = windows + "/Downloaded Program Files/";
    for (char& c : slashed) {
        if (c == '\\') c = '/';
    }
    const std::string downloads = windows + "\\Downloaded Program Files\\";

    std::vector<std::string> calls = {
        "SHDeleteKeyA(HKCR, AppID\\" + clsid + ")",
        "SHDeleteKeyA(HKCR, CLSID\\" + clsid + ")",
        "SHDeleteKeyA(HKCR, " + ocx + ")",
        "SHDeleteKeyA(HKCR, " + typeLib + ")",
        "SHDeleteKeyA(HKLM, SOFTWARE\\Classes\\AppID\\" + clsid + ")",
        "SHDeleteKeyA(HKLM, SOFTWARE\\Classes\\CLSID\\" + clsid + ")",
        "SHDeleteKeyA(HKLM, SOFTWARE\\Classes\\" + ocx + ")",
        "SHDeleteKeyA(HKLM, SOFTWARE\\Classes\\" + typeLib + ")",
        "SHDeleteKeyA(HKLM, SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\" +
            clsid + ")",
        "SHDeleteKeyA(HKLM, " + usage + slashed + ocx + ")",
        "SHDeleteValueA(HKLM, " + shared + ", " + downloads + ocx + ")",
    };
    for (int n = 1; n <= 10; ++n) {
        const std::string conflict = "CONFLICT." + std::to_string(n);
        calls.push_back("SHDeleteKeyA(HKLM, " + usage + slashed + conflict + "/" + ocx + ")");
        calls.push_back("SHDeleteValueA(HKLM, " + shared + ", " + downloads + conflict + "\\" +
                        ocx + ")");
    }
    return calls;
}

class RegistryCleanupTest : public ::testing::Test {
protected:
    void startWith(const std::optional<std::string>& windows) {
        platform.classesRootDefaultValues
            ["CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\\DriveLocation"] =
            std::string("H:\0", 3);
        platform.windowsDirectory = windows;
        form.load();
        platform.calls.clear();
    }

    RecordingPlatform platform;
    RemovalForm form{platform};
};

TEST_F(RegistryCleanupTest, DeletesTwentyKeysAndElevenValuesInOrder) {
    startWith("C:\\WINDOWS");
    form.clearRegistry();
    EXPECT_EQ(platform.calls, expectedCalls("C:\\WINDOWS"));
    EXPECT_EQ(platform.callsStartingWith("SHDeleteKeyA").size(), 20u);
    EXPECT_EQ(platform.callsStartingWith("SHDeleteValueA").size(), 11u);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RegistryCleanupTest, DriveRootKeepsTheDoubledSeparators) {
    startWith("C:\\");
    form.clearRegistry();
    EXPECT_EQ(platform.calls, expectedCalls("C:"
                                            "\\"));
    EXPECT_EQ(platform.calls[9],
              "SHDeleteKeyA(HKLM, SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
              "C://Downloaded Program Files/QuorwenDocumentAutomation.OCX)");
    EXPECT_EQ(platform.calls[10],
              "SHDeleteValueA(HKLM, SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\, "
              "C:\\\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX)");
}

TEST_F(RegistryCleanupTest, EmptyWindowsDirectoryStartsThePathsAtTheSeparator) {
    startWith(std::nullopt);
    form.clearRegistry();
    EXPECT_EQ(platform.calls, expectedCalls(""));
    EXPECT_EQ(platform.calls[9],
              "SHDeleteKeyA(HKLM, SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\"
              "/Downloaded Program Files/QuorwenDocumentAutomation.OCX)");
}

TEST_F(RegistryCleanupTest, ConflictCopiesRunFromOneToTenOnly) {
    startWith("C:\\WINDOWS");
    form.clearRegistry();
    std::string all;
    for (const auto& call : platform.calls) all += call + "\n";
    EXPECT_NE(all.find("CONFLICT.10/"), std::string::npos);
    EXPECT_NE(all.find("CONFLICT.10\\"), std::string::npos);
    EXPECT_EQ(all.find("CONFLICT.0"), std::string::npos);
    EXPECT_EQ(all.find("CONFLICT.11"), std::string::npos);
}

TEST_F(RegistryCleanupTest, RunningTwiceMakesTheSameCallsAgain) {
    startWith("C:\\WINDOWS");
    form.clearRegistry();
    form.clearRegistry();
    std::vector<std::string> twice = expectedCalls("C:\\WINDOWS");
    const auto once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(platform.calls, twice);
}

TEST_F(RegistryCleanupTest, RaisedErrorStopsAtThatStepWithOneMessage) {
    startWith("C:\\WINDOWS");
    const auto expected = expectedCalls("C:\\WINDOWS");
    platform.raiseOn[expected[4]] = ErrorInfo{453, L"Specified DLL function not found"};
    form.clearRegistry();
    EXPECT_EQ(std::vector<std::string>(platform.calls.begin(), platform.calls.begin() + 5),
              std::vector<std::string>(expected.begin(), expected.begin() + 5));
    EXPECT_THAT(platform.messages, ElementsAre(L"Error # 453: Specified DLL function not found."));
    EXPECT_EQ(platform.calls.size(), 6u);
}

}  // namespace
}  // namespace stravik::testing
