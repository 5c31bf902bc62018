#include "platform/portable/stand_in_file_system.h"

#include <gtest/gtest.h>

#include <fstream>

#include "raised_error.h"
#include "stand_in_machine.h"

namespace stravik::portable {
namespace {

using stravik::testing::raisedBy;
using stravik::testing::StandInMachine;

std::int32_t raisedNumber(auto&& call) { return raisedBy(call).number; }

class StandInFileSystemTest : public ::testing::Test {
protected:
    StandInMachine machine;
    std::unique_ptr<FileSystemComponent> fileSystem = makeStandInFileSystem(machine.root());
};

// A name matches ignoring case, letters outside ASCII included, but its
// exact spelling wins. A name that is not UTF-8 is listed and deleted by
// that listing. A doubled separator and a drive root are ordinary paths.
TEST_F(StandInFileSystemTest, ResolvesEveryComponentIgnoringCase) {
    const std::string folder = R"(H:\Halvoran\Template\)";
    machine.createFile(folder + "Letter.DOTX");
    machine.createFile(folder + "Résumé Ærø.dot");
    std::ofstream(machine.hostPath(folder) / "raw\xFF.dot") << "";
    machine.createFile(R"(H:\t\Name.txt)");
    machine.createFile(R"(H:\t\name.txt)");

    const Text asked = LR"(h:\HALVORAN\template\)";
    const std::vector<Text> files = pinStandInFolderPath(machine.root(), asked)->files();
    EXPECT_EQ(files, (std::vector<Text>{asked + L"Letter.DOTX", asked + L"raw\xDCFF.dot",
                                        asked + L"Résumé Ærø.dot"}));
    EXPECT_TRUE(fileSystem->FileExists(L"H:/halvoran/TEMPLATE/letter.dotx"));
    EXPECT_TRUE(fileSystem->FileExists(L"h:\\halvoran\\\\template\\RÉSUMÉ æRØ.DOT"));
    EXPECT_NO_THROW(fileSystem->GetFolder(LR"(h:\)"));

    fileSystem->DeleteFile(LR"(H:\halvoran\TEMPLATE\letter.DOTX)", true);
    for (const Text& file : {files[1], files[2]}) {
        fileSystem->DeleteFile(file, true);
    }
    EXPECT_TRUE(std::filesystem::is_empty(machine.hostPath(folder)));
    fileSystem->DeleteFile(LR"(H:\t\name.txt)", true);
    EXPECT_TRUE(machine.exists(R"(H:\t\Name.txt)"));
    EXPECT_FALSE(machine.exists(R"(H:\t\name.txt)"));
}

TEST_F(StandInFileSystemTest, FilesListsWhatIsDirectlyInTheFolderSortedIgnoringCase) {
    machine.createFile(R"(H:\t\b.txt)");
    machine.createFile(R"(H:\t\A.txt)");
    machine.createFile(R"(H:\t\c.TXT)");
    machine.createFile(R"(H:\t\sub\inner.txt)");
    machine.createSymlink(R"(H:\t\link)", machine.hostPath(R"(H:\elsewhere)"));

    EXPECT_EQ(
        pinStandInFolderPath(machine.root(), LR"(H:\t)")->files(),
        (std::vector<Text>{LR"(H:\t\A.txt)", LR"(H:\t\b.txt)", LR"(H:\t\c.TXT)", LR"(H:\t\link)"}));
    machine.createFolder(R"(H:\empty)");
    EXPECT_TRUE(pinStandInFolderPath(machine.root(), LR"(H:\empty\)")->files().empty());
}

TEST_F(StandInFileSystemTest, MissingPlacesRaiseWindowsErrorNumbers) {
    machine.createFile(R"(H:\t\file.txt)");
    machine.createFolder(R"(H:\t\folder)");

    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(H:\missing\)"); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(Q:\t\)"); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(H:\t\file.txt)"); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\t\missing.txt)", true); }), 53);
    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\t\folder)", true); }), 53);
    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\missing\file.txt)", true); }), 76);
    EXPECT_TRUE(machine.exists(R"(H:\t\folder)"));

    EXPECT_FALSE(fileSystem->FileExists(LR"(H:\t\missing.txt)"));
    EXPECT_FALSE(fileSystem->FileExists(LR"(H:\t\folder)"));
    EXPECT_FALSE(fileSystem->FileExists(LR"(H:\missing\file.txt)"));
}

// Neither ".." nor a linked folder leads off the drive.
TEST_F(StandInFileSystemTest, PathsThatCannotBeOnTheMachineTouchNothing) {
    // Next to the machine's root, where no Windows path may reach.
    const std::filesystem::path outside = machine.root() / "outside.txt";
    std::ofstream(outside) << "keep";
    machine.createFile(R"(H:\t\file.txt)");
    machine.createFile(R"(C:\Windows\system.ini)");
    machine.createSymlink(R"(H:\Halvoran\template)", machine.hostPath(R"(C:\Windows)"));

    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\..\outside.txt)", true); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\t\..\..\..\outside.txt)", true); }),
              76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(L"H:"); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(\t\)"); }), 76);
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(\\server\share\)"); }), 76);
    EXPECT_EQ(
        raisedNumber([&] { fileSystem->DeleteFile(Text(LR"(H:\t\file.txt)") + L'\0', true); }), 52);
    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\t\*)", true); }), 52);
    EXPECT_FALSE(fileSystem->FileExists(LR"(H:\..\outside.txt)"));
    EXPECT_EQ(raisedNumber([&] { fileSystem->GetFolder(LR"(H:\Halvoran\template\)"); }), 76);
    EXPECT_EQ(
        raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\Halvoran\template\system.ini)", true); }),
        76);

    EXPECT_TRUE(std::filesystem::exists(outside));
    EXPECT_TRUE(machine.exists(R"(H:\t\file.txt)"));
    EXPECT_TRUE(machine.exists(R"(C:\Windows\system.ini)"));

    // ".." that stays on the drive is an ordinary path.
    fileSystem->DeleteFile(LR"(H:\t\..\t\.\file.txt)", true);
    EXPECT_FALSE(machine.exists(R"(H:\t\file.txt)"));
}

// A link goes as a link; a read-only file only when forced.
TEST_F(StandInFileSystemTest, DeleteRemovesLinksAsLinksAndReadOnlyFilesWhenForced) {
    machine.createFile(R"(H:\locked.dot)");
    machine.makeReadOnly(R"(H:\locked.dot)");
    machine.createFile(R"(C:\target.txt)", "keep");
    machine.createFolder(R"(C:\targetFolder)");
    machine.createSymlink(R"(H:\t\toFile)", machine.hostPath(R"(C:\target.txt)"));
    machine.createSymlink(R"(H:\t\toFolder)", machine.hostPath(R"(C:\targetFolder)"));
    machine.createSymlink(R"(H:\t\dangling)", machine.hostPath(R"(C:\nothing)"));

    for (const Text& file : pinStandInFolderPath(machine.root(), LR"(H:\t)")->files()) {
        fileSystem->DeleteFile(file, true);
    }

    EXPECT_FALSE(machine.exists(R"(H:\t\toFile)"));
    EXPECT_FALSE(machine.exists(R"(H:\t\toFolder)"));
    EXPECT_FALSE(machine.exists(R"(H:\t\dangling)"));
    EXPECT_TRUE(machine.exists(R"(C:\target.txt)"));
    EXPECT_TRUE(machine.exists(R"(C:\targetFolder)"));

    EXPECT_EQ(raisedNumber([&] { fileSystem->DeleteFile(LR"(H:\locked.dot)", false); }), 70);
    EXPECT_TRUE(machine.exists(R"(H:\locked.dot)"));
    fileSystem->DeleteFile(LR"(H:\locked.dot)", true);
    EXPECT_FALSE(machine.exists(R"(H:\locked.dot)"));
}

// The pin deletes inside the folder it holds: once that folder is moved
// aside and replaced, by a link or by another folder, the held folder's
// files still go and the other folder's stay; the swap is reported when
// the files are done.
class PinnedFolderSwapTest : public StandInFileSystemTest,
                             public ::testing::WithParamInterface<bool> {};

TEST_P(PinnedFolderSwapTest, KeepsDeletingInTheHeldFolder) {
    const bool swapForLink = GetParam();
    machine.createFile(R"(H:\Halvoran\Template\a.dot)");
    machine.createFile(R"(H:\Halvoran\Template\b.dot)");
    machine.createFile(R"(H:\Other\b.dot)");
    const auto pinned = pinStandInFolderPath(machine.root(), LR"(h:\halvoran\template\)");
    EXPECT_TRUE(pinned->deleteFile(LR"(H:\Halvoran\Template\a.dot)"));

    std::filesystem::rename(machine.hostPath(R"(H:\Halvoran\Template)"),
                            machine.hostPath(R"(H:\Halvoran\Moved)"));
    if (swapForLink) {
        machine.createSymlink(R"(H:\Halvoran\Template)", machine.hostPath(R"(H:\Other)"));
    } else {
        std::filesystem::rename(machine.hostPath(R"(H:\Other)"),
                                machine.hostPath(R"(H:\Halvoran\Template)"));
    }
    EXPECT_TRUE(pinned->deleteFile(LR"(H:\Halvoran\Template\b.dot)"));
    EXPECT_FALSE(machine.exists(R"(H:\Halvoran\Moved\b.dot)"));
    EXPECT_TRUE(machine.exists(R"(H:\Halvoran\Template\b.dot)"));
    EXPECT_EQ(
        raisedBy([&] { pinned->confirmUnchanged(); }).description,
        swapForLink
            ? LR"(Path/File access error: h:\halvoran\template is a link to another folder)"
            : LR"(Path/File access error: h:\halvoran\template was replaced while its files were being removed)");
}

INSTANTIATE_TEST_SUITE_P(ByALinkOrAnotherFolder, PinnedFolderSwapTest, ::testing::Bool());

// Whatever a user names a file in the folder: a 255-character name, its
// path far over 260 characters, read-only, goes, and so do names that
// Windows would not allow; a file with a second name
// is refused and both names keep it; a name that is no entry of the folder
// is refused; a file gone since the listing is no error.
TEST_F(StandInFileSystemTest, PinDeletesFilesOfAnyNameAndRefusesSecondNames) {
    const std::string folder = R"(H:\Halvoran\template\)";
    const std::string longName = std::string(250, 'L') + ".dotx";
    machine.createFile(folder + longName);
    machine.makeReadOnly(folder + longName);
    machine.createFile(folder + "shared.dot", "kept");
    // Names Windows would not allow, as a Unix host has them: a "\\" and
    // bytes that are not UTF-8.
    std::ofstream(machine.hostPath(folder) / "back\\slash.dot") << "";
    std::ofstream(machine.hostPath(folder) / "raw\xFF.dot") << "";
    std::filesystem::create_hard_link(machine.hostPath(folder + "shared.dot"),
                                      machine.hostPath(R"(H:\elsewhere.dot)"));
    const auto pinned = pinStandInFolderPath(machine.root(), LR"(H:\Halvoran\template\)");
    const Text folderPath = LR"(H:\Halvoran\template\)";

    for (const Text& file : pinned->files()) {
        if (!file.ends_with(L"shared.dot")) {
            EXPECT_TRUE(pinned->deleteFile(file));
        }
    }
    EXPECT_EQ(pinned->files(), std::vector<Text>{folderPath + L"shared.dot"});
    EXPECT_FALSE(pinned->deleteFile(folderPath + L"gone.dot"));
    EXPECT_EQ(
        raisedBy([&] { pinned->deleteFile(folderPath + L"shared.dot"); }).description,
        LR"(Path/File access error: H:\Halvoran\template\shared.dot has another name elsewhere)");
    EXPECT_TRUE(machine.exists(folder + "shared.dot"));
    EXPECT_TRUE(machine.exists(R"(H:\elsewhere.dot)"));
    EXPECT_EQ(raisedNumber([&] { pinned->deleteFile(folderPath + L".."); }), 75);
}

// The folders are opened one inside the other without following links:
// a link anywhere on the way is refused, naming it as it was asked for.
TEST_F(StandInFileSystemTest, PinRefusesALinkAtAnyFolderAndReportsMissingOnes) {
    machine.createFolder(R"(C:\Windows\template)");
    machine.createFolder(R"(H:\Real\template)");
    machine.createSymlink(R"(H:\Halvoran)", machine.hostPath(R"(H:\Real)"));
    machine.createFolder(R"(D:\Halvoran)");
    machine.createSymlink(R"(D:\Halvoran\template)", machine.hostPath(R"(C:\Windows\template)"));

    const auto pinRaises = [&](const Text& folderPath) {
        return raisedNumber([&] { pinStandInFolderPath(machine.root(), folderPath); });
    };
    EXPECT_EQ(pinRaises(LR"(H:\Halvoran\template\)"), 75);
    EXPECT_EQ(pinRaises(LR"(D:\Halvoran\template\)"), 75);
    EXPECT_EQ(pinRaises(LR"(C:\Halvoran\template\)"), 76);
    EXPECT_EQ(pinRaises(LR"(Q:\Halvoran\template\)"), 76);
    EXPECT_NO_THROW(pinStandInFolderPath(machine.root(), LR"(H:\Real\template\)"));
}

}  // namespace
}  // namespace stravik::portable
