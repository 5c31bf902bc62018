// The Remove command: files, the administrator test, stop-at-first-error.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "recording_platform.h"
#include "shell/removal_form.h"

namespace stravik::testing {
namespace {

using ::testing::ElementsAre;

const Text templates = L"H:\\Halvoran\\template\\";
const Text control = L"C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX";
const Text dotm = L"C:\\WINDOWS\\Halvoran.dotm";
const Text dot = L"C:\\WINDOWS\\Halvoran.dot";
const Text finished = L"Finished removing Halvoran OCX files!";

class FileRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.seedTypicalPc({L"b.dot", L"a.dotx"});
        form.load();
        platform.calls.clear();
    }

    // The calls before the registry clean-up.
    std::vector<std::string> fileCalls() const {
        std::vector<std::string> calls;
        for (const auto& call : platform.calls) {
            if (call.starts_with("SHDelete")) break;
            calls.push_back(call);
        }
        return calls;
    }

    RecordingPlatform platform;
    RemovalForm form{platform};
};

TEST_F(FileRemovalTest, TypicalRunDeletesInOrderThenCleansTheRegistryThenReports) {
    form.btnRemoveClick();
    EXPECT_EQ(fileCalls(), (std::vector<std::string>{
                               "pinFolderPath(H:\\Halvoran\\template\\)",
                               "GetFolder(H:\\Halvoran\\template\\)",
                               "pinned files(H:\\Halvoran\\template\\)",
                               "deleteFile(H:\\Halvoran\\template\\b.dot)",
                               "deleteFile(H:\\Halvoran\\template\\a.dotx)",
                               "confirmUnchanged(H:\\Halvoran\\template\\)",
                               "unpin(H:\\Halvoran\\template\\)",
                               "FileExists(" + utf8(control) + ")",
                               "isAdministrator()",
                               "DeleteFile(" + utf8(control) + ", force)",
                               "FileExists(" + utf8(dotm) + ")",
                               "isAdministrator()",
                               "DeleteFile(" + utf8(dotm) + ", force)",
                               "FileExists(" + utf8(dot) + ")",
                               "isAdministrator()",
                               "DeleteFile(" + utf8(dot) + ", force)",
                           }));
    EXPECT_EQ(platform.callsStartingWith("SHDelete").size(), 31u);
    EXPECT_EQ(platform.calls.back(), "showMessage(" + utf8(finished) + ")");
    EXPECT_THAT(platform.messages, ElementsAre(finished));
}

TEST_F(FileRemovalTest, AdministratorIsAskedOnlyForFilesThatExist) {
    platform.existingFiles = {dotm};
    form.btnRemoveClick();
    EXPECT_EQ(platform.callsStartingWith("isAdministrator").size(), 1u);

    platform.existingFiles.clear();
    platform.calls.clear();
    form.btnRemoveClick();
    EXPECT_TRUE(platform.callsStartingWith("isAdministrator").empty());
    EXPECT_THAT(platform.messages, ElementsAre(finished, finished));
}

TEST_F(FileRemovalTest, NonAdministratorKeepsTheWindowsFilesAndSaysSoAfterFinishing) {
    platform.administrator = 0;
    form.btnRemoveClick();
    EXPECT_TRUE(
        platform.callsStartingWith("DeleteFile").empty());  // template files go through the pin
    EXPECT_EQ(platform.callsStartingWith("isAdministrator").size(), 3u);
    EXPECT_TRUE(platform.existingFiles.contains(control));
    EXPECT_EQ(platform.callsStartingWith("SHDelete").size(), 31u);
    EXPECT_THAT(platform.messages,
                ElementsAre(finished,
                            L"Stravik was not run as an administrator, so these files were left:\n"
                            L"\n" +
                                control + L"\n" + dotm + L"\n" + dot +
                                L"\n\nAn administrator must run Stravik to remove them and the "
                                L"machine-wide registry entries."));
}

TEST_F(FileRemovalTest, NonAdministratorHearsOnlyOfTheFilesThatExisted) {
    platform.administrator = 0;
    platform.existingFiles = {dot};
    form.btnRemoveClick();
    EXPECT_EQ(platform.callsStartingWith("isAdministrator").size(), 1u);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0], finished);
    EXPECT_NE(platform.messages[1].find(L"left:\n\n" + dot + L"\n\nAn administrator"), Text::npos);

    // Nothing in the Windows directory: nothing was left, nothing more to say.
    platform.existingFiles.clear();
    platform.messages.clear();
    form.btnRemoveClick();
    EXPECT_THAT(platform.messages, ElementsAre(finished));
}

// A platform whose administrator test fails in a way nobody planned for.
class ThrowingPlatform : public RecordingPlatform {
public:
    std::int32_t isAdministrator() override {
        if (!thrown) {
            thrown = true;
            throw std::runtime_error("not a raised error");
        }
        return RecordingPlatform::isAdministrator();
    }
    bool thrown = false;
};

TEST_F(FileRemovalTest, AnyOtherExceptionIsOneInternalErrorAndTheFormStaysUsable) {
    ThrowingPlatform machine;
    machine.seedTypicalPc({L"b.dot", L"a.dotx"});
    machine.existingFiles = {control};
    RemovalForm removal{machine};
    removal.load();

    EXPECT_NO_THROW(removal.btnRemoveClick());
    EXPECT_THAT(machine.messages, ElementsAre(L"Error # 51: Internal error."));
    EXPECT_TRUE(machine.callsStartingWith("SHDelete").empty());

    removal.btnRemoveClick();
    EXPECT_THAT(machine.messages, ElementsAre(L"Error # 51: Internal error.", finished));
    EXPECT_FALSE(machine.existingFiles.contains(control));
}

TEST_F(FileRemovalTest, EmptyTemplateFolderGoesOnToTheWindowsFiles) {
    platform.folders[templates].clear();
    form.btnRemoveClick();
    EXPECT_EQ(platform.callsStartingWith("DeleteFile").size(), 3u);
    EXPECT_THAT(platform.messages, ElementsAre(finished));
}

TEST_F(FileRemovalTest, MissingTemplateFolderIsOneMessageAndNothingElse) {
    platform.folders.clear();
    form.btnRemoveClick();
    EXPECT_THAT(platform.calls, ElementsAre("pinFolderPath(H:\\Halvoran\\template\\)",
                                            "showMessage(Error # 76: Path not found.)"));
}

// Each file step that raises ends the command there: no later file, no
// registry clean-up and no finished message.
class FailingFileStepTest : public FileRemovalTest,
                            public ::testing::WithParamInterface<std::string> {};

TEST_P(FailingFileStepTest, EndsTheCommandAtThatStep) {
    const std::string& step = GetParam();
    platform.raiseOn[step] = ErrorInfo{70, L"Permission denied"};
    form.btnRemoveClick();
    // Nothing but the pin's release between the failing step and the message.
    std::vector<std::string> tail(std::find(platform.calls.begin(), platform.calls.end(), step),
                                  platform.calls.end());
    std::erase(tail, "unpin(H:\\Halvoran\\template\\)");
    EXPECT_THAT(tail, ElementsAre(step, "showMessage(Error # 70: Permission denied.)"));
    EXPECT_TRUE(platform.callsStartingWith("SHDelete").empty());
    // The pin, once made, is released on the way out.
    EXPECT_EQ(platform.callsStartingWith("unpin").size(),
              step.starts_with("pinFolderPath") ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingFileStepTest,
                         ::testing::Values("pinFolderPath(H:\\Halvoran\\template\\)",
                                           "GetFolder(H:\\Halvoran\\template\\)",
                                           "pinned files(H:\\Halvoran\\template\\)",
                                           "deleteFile(H:\\Halvoran\\template\\b.dot)",
                                           "deleteFile(H:\\Halvoran\\template\\a.dotx)",
                                           "confirmUnchanged(H:\\Halvoran\\template\\)",
                                           "FileExists(" + utf8(control) + ")", "isAdministrator()",
                                           "DeleteFile(" + utf8(dotm) + ", force)",
                                           "DeleteFile(" + utf8(dot) + ", force)"));

// A link planted at a folder on the way ends Remove at the pin: one
// message, nothing deleted, the registry untouched. A second click does
// exactly the same.
TEST_F(FileRemovalTest, LinkedTemplateFolderIsRefusedBeforeAnyDeletion) {
    platform.raiseOn["pinFolderPath(H:\\Halvoran\\template\\)"] =
        ErrorInfo{75, L"Path/File access error: H:\\Halvoran is a link to another folder"};
    const std::vector<std::string> expected = {
        "pinFolderPath(H:\\Halvoran\\template\\)",
        "showMessage(Error # 75: Path/File access error: H:\\Halvoran is a link to another "
        "folder.)",
    };
    form.btnRemoveClick();
    EXPECT_EQ(platform.calls, expected);
    platform.calls.clear();
    form.btnRemoveClick();
    EXPECT_EQ(platform.calls, expected);
}

// A file refused by the pin ends Remove at that file: the files before it
// are gone, it and the rest stay, the pin is released, nothing further
// happens.
TEST_F(FileRemovalTest, FileThatThePinRefusesEndsRemoveThere) {
    platform.raiseOn["deleteFile(H:\\Halvoran\\template\\b.dot)"] = ErrorInfo{
        75, L"Path/File access error: H:\\Halvoran\\template\\b.dot is a link to another file"};
    form.btnRemoveClick();
    const std::vector<std::string> expected = {
        "pinFolderPath(H:\\Halvoran\\template\\)",
        "GetFolder(H:\\Halvoran\\template\\)",
        "pinned files(H:\\Halvoran\\template\\)",
        "deleteFile(H:\\Halvoran\\template\\b.dot)",
        "unpin(H:\\Halvoran\\template\\)",
        "showMessage(Error # 75: Path/File access error: H:\\Halvoran\\template\\b.dot is a "
        "link to another file.)",
    };
    EXPECT_EQ(platform.calls, expected);
    EXPECT_TRUE(platform.existingFiles.contains(templates + L"a.dotx"));
}

TEST_F(FileRemovalTest, FailureInsideTheCleanupIsStillFollowedByTheFinishedMessage) {
    platform.raiseOn["SHDeleteKeyA(HKCR, AppID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F})"] =
        ErrorInfo{453, L"Specified DLL function not found"};
    form.btnRemoveClick();
    EXPECT_THAT(platform.messages,
                ElementsAre(L"Error # 453: Specified DLL function not found.", finished));
}

TEST_F(FileRemovalTest, WithoutTheComponentRemoveFailsAtItsFirstFileOperation) {
    RecordingPlatform machine;
    machine.componentAvailable = false;
    RemovalForm removal{machine};
    removal.load();
    machine.calls.clear();
    removal.btnRemoveClick();
    EXPECT_THAT(machine.messages,
                ElementsAre(L"Error # 429: ActiveX component can't create object.",
                            L"Error # 91: Object variable or With block variable not set."));
    EXPECT_THAT(machine.calls, ElementsAre(::testing::StartsWith("showMessage(Error # 91")));
}

TEST_F(FileRemovalTest, PathsComeFromTheStateByPlainConcatenation) {
    RecordingPlatform machine;
    machine
        .classesRootDefaultValues["CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\\DriveLocation"] =
        std::string("h:\0", 3);
    machine.windowsDirectory = "C:\\";
    machine.folders[L"h:\\Halvoran\\template\\"] = {};
    RemovalForm removal{machine};
    removal.load();
    removal.btnRemoveClick();
    EXPECT_THAT(
        machine.callsStartingWith("FileExists"),
        ElementsAre("FileExists(C:\\\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX)",
                    "FileExists(C:\\\\Halvoran.dotm)", "FileExists(C:\\\\Halvoran.dot)"));
}

}  // namespace
}  // namespace stravik::testing
