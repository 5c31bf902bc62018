// The pin on the template folder's path against real folders and real
// links. Wine cannot make junctions or Windows symbolic links, so the
// links here are Unix symbolic links, made on the Unix side of Wine (Wine
// starts a Unix program handed to CreateProcessW); a test that needs one
// is skipped elsewhere.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/win32/folder_pin.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"
#include "raised_error.h"
#include "wine_host.h"

namespace stravik::win32 {
namespace {

using stravik::testing::raisedBy;
using namespace host;

// The system's native calls but for the answers a test scripts, which Wine
// cannot give: it enforces no access lists and answers as a local disk.
class ScriptedFileCalls : public NativeFileCalls {
public:
    // The answer to opening `name` for `access`, or none to let it through.
    std::function<std::optional<NTSTATUS>(const Text& name, ACCESS_MASK access)> answerOpen;
    // A final path that ends so cannot be had.
    Text unnamedFinalPath;
    // Every open of a folder of this name, or of anything in it, is denied
    // to the account, as a home folder that grants only its user and
    // SYSTEM, unless the backup and restore privileges are enabled and the
    // open asks for backup intent (which opening a folder by its path
    // always does).
    Text deniedFolder;
    bool privilegesHeld = false;
    mutable bool privilegesEnabled = false;
    mutable std::vector<std::string> privilegeCalls;  // "enable", "restore"

    DWORD openPath(const Text& path, DWORD access, DWORD share, DWORD flags,
                   UniqueFile& file) const override {
        if (denied(path) && !privilegesEnabled) {
            return ERROR_ACCESS_DENIED;
        }
        return NativeFileCalls::openPath(path, access, share, flags, file);
    }

    NTSTATUS open(HANDLE folder, const Text& name, ACCESS_MASK access, ULONG options, ULONG share,
                  UniqueFile& file) const override {
        if (const auto answer = answerOpen ? answerOpen(name, access) : std::nullopt) {
            return *answer;
        }
        Text folderPath;
        NativeFileCalls::finalPath(folder, folderPath);
        if (denied(folderPath + L"\\" + name) &&
            !(privilegesEnabled && (options & FILE_OPEN_FOR_BACKUP_INTENT) != 0)) {
            return statusAccessDenied;
        }
        return NativeFileCalls::open(folder, name, access, options, share, file);
    }

    std::optional<PrivilegeState> enableBackupPrivileges() const override {
        privilegeCalls.push_back("enable");
        privilegesEnabled = privilegesHeld;
        return privilegesHeld ? std::optional(PrivilegeState{}) : std::nullopt;
    }
    void restorePrivileges(const PrivilegeState&) const override {
        privilegeCalls.push_back("restore");
        privilegesEnabled = false;
    }

    DWORD finalPath(HANDLE handle, Text& path) const override {
        const DWORD error = NativeFileCalls::finalPath(handle, path);
        const bool unnamed = !unnamedFinalPath.empty() && path.ends_with(unnamedFinalPath);
        return error == ERROR_SUCCESS && unnamed ? ERROR_ACCESS_DENIED : error;
    }

private:
    bool denied(const Text& path) const {
        return !deniedFolder.empty() &&
               (path + L"\\").find(L"\\" + deniedFolder + L"\\") != Text::npos;
    }
};

class Win32FolderPinTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!underWine()) {
            GTEST_SKIP() << "links are planted through Wine's Unix side";
        }
        ASSERT_FALSE(base.empty());
    }

    void makeFolder(const Text& relative) {
        ASSERT_TRUE(CreateDirectoryW((base + L"\\" + relative).c_str(), nullptr)) << relative;
    }

    void makeFile(const Text& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        ASSERT_TRUE(host::makeFile(base + L"\\" + relative, attributes)) << relative;
    }

    // An empty base\Halvoran\template\, its path returned.
    Text makeTemplateFolder() {
        makeFolder(L"Halvoran");
        makeFolder(L"Halvoran\\template");
        return base + L"\\Halvoran\\template\\";
    }

    // `relative` becomes a symbolic link to `target`.
    void plantLink(const Text& relative, const Text& target) {
        const Text link = base + L"\\" + relative;
        ASSERT_TRUE(
            runShell("ln -s " + shellQuoted(base + L"\\" + target) + " " + shellQuoted(link),
                     [&] { return exists(link); }))
            << relative;
    }

    // The real folder `relative` moves aside and a link to `target` takes
    // its place, as another process would do it.
    void swapForLink(const Text& relative, const Text& target) {
        const Text folder = base + L"\\" + relative;
        ASSERT_TRUE(runShell(
            "mv " + shellQuoted(folder) + " " + shellQuoted(folder + L".moved") + " && ln -s " +
                shellQuoted(base + L"\\" + target) + " " + shellQuoted(folder),
            [&] { return (attributesOf(folder) & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }));
    }

    TemporaryFolder temporary{L"stravik_pin_"};
    const Text base = temporary.path();
    Win32Platform platform;
};

// Each file is opened inside the held folder by its name alone, so a name
// of 255 characters, whose full path is far over 260, goes like any other,
// read-only or not, whatever its letters; the folders may be named in any
// case, or by their short names.
TEST_F(Win32FolderPinTest, FilesOfAnyNameAreDeletedThroughThePinWhateverTheCase) {
    makeFolder(L"Halvoran Office");
    makeFolder(L"Halvoran Office\\Halvoran");
    makeFolder(L"Halvoran Office\\Halvoran\\Template");
    const Text madeFolder = base + L"\\Halvoran Office\\Halvoran\\Template\\";
    makeFile(L"Halvoran Office\\Halvoran\\Template\\Brief.dotm");
    const Text longName = Text(250, L'L') + L".dotx";
    makeFile(L"Halvoran Office\\Halvoran\\Template\\" + longName, FILE_ATTRIBUTE_READONLY);
    makeFile(L"Halvoran Office\\Halvoran\\Template\\Normal.dotx", FILE_ATTRIBUTE_READONLY);
    // Names that Windows would not allow, made on the Unix side: Wine lists
    // them as they are, opens them by their short names only, and reports
    // them without their trailing dots.
    ASSERT_TRUE(
        runShell("cd " + shellQuoted(madeFolder) +
                     " && touch 'star*.dot' 'back\\slash.dot' 'trailing dot.' && touch done",
                 [&] { return exists(madeFolder + L"done"); }));

    wchar_t shortPath[MAX_PATH];
    const DWORD length =
        GetShortPathNameW((base + L"\\Halvoran Office").c_str(), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    const Text folder = Text(shortPath, length) + L"\\HALVORAN\\template\\";
    ASSERT_GT(folder.size() + longName.size(), 300u);
    const auto pinned = platform.pinFolderPath(folder);
    for (const Text& file : pinned->files()) {
        EXPECT_TRUE(pinned->deleteFile(file)) << file.size();
    }
    EXPECT_TRUE(pinned->files().empty());
    pinned->confirmUnchanged();
}

// A file that another program holds without delete sharing stays, with
// the number Windows' component gives; one that another program has marked
// for deletion is removed (Wine opens it again, where Windows answers that
// its deletion is pending); one already gone is no error.
TEST_F(Win32FolderPinTest, AFileHeldOpenStaysAndOneBeingDeletedCountsAsRemoved) {
    const Text folder = makeTemplateFolder();
    makeFile(L"Halvoran\\template\\Open.dot");
    makeFile(L"Halvoran\\template\\Pending.dot");
    const auto pinned = platform.pinFolderPath(folder);
    {
        const UniqueFile open(CreateFileW((folder + L"Open.dot").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        const ErrorInfo error = raisedBy([&] { pinned->deleteFile(folder + L"Open.dot"); });
        EXPECT_EQ(error.number, 70);
        EXPECT_EQ(error.description, L"Permission denied");
        EXPECT_TRUE(exists(folder + L"Open.dot"));
    }
    const UniqueFile pending(CreateFileW((folder + L"Pending.dot").c_str(), DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    FILE_DISPOSITION_INFORMATION disposition{TRUE};
    ASSERT_EQ(nativeFileCalls().set(pending.get(), &disposition, sizeof disposition,
                                    FileDispositionInformation),
              0);
    EXPECT_TRUE(pinned->deleteFile(folder + L"Pending.dot"));
    EXPECT_FALSE(pinned->deleteFile(folder + L"gone.dot"));
}

TEST_F(Win32FolderPinTest, AMissingFolderIsPathNotFound) {
    makeFolder(L"Halvoran");
    const ErrorInfo error =
        raisedBy([&] { platform.pinFolderPath(base + L"\\Halvoran\\template\\"); });
    EXPECT_EQ(error.number, 76);
    EXPECT_EQ(error.description, L"Path not found");
}

// A link at either folder is refused, naming it as it was asked for, and
// nothing it leads to is touched; so it is when the folders are pinned
// from a pin of the folder above them, as a sweep pins each home folder's,
// which goes on only from that folder as it was asked for.
TEST_F(Win32FolderPinTest, ALinkAtEitherFolderIsRefused) {
    makeFolder(L"Other");
    makeFolder(L"Other\\template");
    makeFile(L"Other\\template\\Victim.dll", FILE_ATTRIBUTE_READONLY);
    makeFolder(L"First");
    plantLink(L"First\\template", L"Other\\template");
    plantLink(L"Second", L"Other");

    const ErrorInfo atTemplate =
        raisedBy([&] { platform.pinFolderPath(base + L"\\First\\template\\"); });
    EXPECT_EQ(atTemplate.number, 75);
    EXPECT_EQ(atTemplate.description, L"Path/File access error: " + base +
                                          L"\\First\\template is a link to another folder");

    const ErrorInfo atParent =
        raisedBy([&] { platform.pinFolderPath(base + L"\\Second\\template\\"); });
    EXPECT_EQ(atParent.number, 75);
    EXPECT_EQ(atParent.description,
              L"Path/File access error: " + base + L"\\Second is a link to another folder");

    const auto above = platform.pinFolderPathAsBackup(base + L"\\");
    EXPECT_EQ(raisedBy([&] { above->pinWithin(base + L"\\First\\template\\"); }).description,
              atTemplate.description);
    EXPECT_EQ(raisedBy([&] { above->pinWithin(base + L"\\Second\\template\\"); }).description,
              atParent.description);
    EXPECT_EQ(raisedBy([&] { above->pinWithin(base + L"\\First\\missing\\"); }).number, 76);
    EXPECT_EQ(above->pinWithin(base + L"\\Other\\template\\")->files().size(), 1u);
    EXPECT_EQ(above->pinWithin(base + L"\\First\\..\\"), nullptr);
    EXPECT_EQ(above->pinWithin(base + L"2\\Other\\"), nullptr);
    EXPECT_TRUE(exists(base + L"\\Other\\template\\Victim.dll"));
}

// A Unix process is not bound by Wine's share checks, so the swap that the
// pin prevents on Windows succeeds here. Wine still opens the next name in
// the held folder, but names the open file through the folder's path,
// which now leads into the other folder: that name shows the swap, and
// Remove stops there with the other folder's files intact.
TEST_F(Win32FolderPinTest, AFolderSwappedForALinkIsNoticedAtTheNextFile) {
    const Text folder = makeTemplateFolder();
    makeFile(L"Halvoran\\template\\a.dot");
    makeFile(L"Halvoran\\template\\b.dot");
    makeFolder(L"Other");
    makeFile(L"Other\\a.dot");
    makeFile(L"Other\\b.dot");

    const auto pinned = platform.pinFolderPath(folder);
    const std::vector<Text> files = pinned->files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(pinned->deleteFile(files[0]));

    swapForLink(L"Halvoran\\template", L"Other");

    const Text linkToAnotherFolder =
        L"Path/File access error: " + base + L"\\Halvoran\\template is a link to another folder";
    EXPECT_EQ(raisedBy([&] { pinned->deleteFile(files[1]); }).description, linkToAnotherFolder);
    EXPECT_EQ(raisedBy([&] { pinned->confirmUnchanged(); }).description, linkToAnotherFolder);
    EXPECT_TRUE(exists(base + L"\\Other\\a.dot"));
    EXPECT_TRUE(exists(base + L"\\Other\\b.dot"));
}

// The pin takes part in share checks: no Windows program, Wine's included,
// can rename, move or delete a held folder. (An open for attributes only
// would not: neither Windows nor Wine checks sharing for it.) What Wine
// cannot stop is a Unix process; the folder it puts in the held one's
// place is noticed at the end.
TEST_F(Win32FolderPinTest, AHeldFolderCannotBeRenamedAndAReplacementIsNoticed) {
    makeTemplateFolder();
    const Text folder = base + L"\\Halvoran\\template";
    makeFile(L"Halvoran\\template\\a.dot");
    const auto pinned = platform.pinFolderPath(folder + L"\\");

    EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L".moved").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileW((base + L"\\Halvoran").c_str(), (base + L"\\Moved").c_str()));
    pinned->confirmUnchanged();

    ASSERT_TRUE(runShell("mv " + shellQuoted(folder) + " " + shellQuoted(folder + L".moved") +
                             " && mkdir " + shellQuoted(folder) + " && touch " +
                             shellQuoted(folder + L"\\a.dot") + " " +
                             shellQuoted(folder + L"\\b.dot"),
                         [&] { return exists(folder + L"\\b.dot"); }));
    const ErrorInfo error = raisedBy([&] { pinned->confirmUnchanged(); });
    EXPECT_EQ(error.number, 75);
    EXPECT_EQ(error.description, L"Path/File access error: " + folder +
                                     L" was replaced while its files were being removed");
}

// Wine's DeleteFileW would delete what a Unix symbolic link to a file leads
// to; opened inside the held folder it shows the name of what it leads to,
// and the pin stops there before anything is touched.
TEST_F(Win32FolderPinTest, AFileThatIsALinkElsewhereIsRefusedBeforeItsDeletion) {
    const Text folder = makeTemplateFolder();
    makeFolder(L"Outside");
    makeFile(L"Outside\\Victim.dll");
    plantLink(L"Halvoran\\template\\Letterhead.dotx", L"Outside\\Victim.dll");

    const auto pinned = platform.pinFolderPath(folder);
    const std::vector<Text> files = pinned->files();
    ASSERT_EQ(files.size(), 1u);
    const ErrorInfo error = raisedBy([&] { pinned->deleteFile(files[0]); });
    EXPECT_EQ(error.number, 75);
    EXPECT_EQ(error.description,
              L"Path/File access error: " + files[0] + L" is a link to another file");
    EXPECT_TRUE(exists(base + L"\\Outside\\Victim.dll"));
}

// A hard link shares its attributes with the file's other names: the
// forced deletion would clear their read-only attribute first. Both names
// keep the file and its attributes.
TEST_F(Win32FolderPinTest, AFileWithAnotherNameElsewhereIsRefused) {
    const Text folder = makeTemplateFolder();
    makeFolder(L"Outside");
    makeFile(L"Outside\\Victim.dll", FILE_ATTRIBUTE_READONLY);
    const Text file = folder + L"Victim.dll";
    ASSERT_TRUE(
        runShell("ln " + shellQuoted(base + L"\\Outside\\Victim.dll") + " " + shellQuoted(file),
                 [&] { return exists(file); }));

    const auto pinned = platform.pinFolderPath(folder);
    const ErrorInfo error = raisedBy([&] { pinned->deleteFile(file); });
    EXPECT_EQ(error.number, 75);
    EXPECT_EQ(error.description,
              L"Path/File access error: " + file + L" has another name elsewhere");
    for (const Text& name : {file, base + L"\\Outside\\Victim.dll"}) {
        EXPECT_NE(attributesOf(name) & FILE_ATTRIBUTE_READONLY, 0u) << name.size();
    }
}

// Answers of Windows that Wine cannot show. An access list that grants
// deleting (as the folder's delete-child right does) but not writing
// attributes: a file goes, a read-only one stays with "Permission denied".
// A network file system that says "not found" of a file its folder still
// lists: that is an error, and the file is not opened by its short name
// instead. A file whose deletion another program has begun is removed. A
// final path the system cannot give is an error that names the call.
TEST_F(Win32FolderPinTest, WindowsAnswersAreTakenAsWindowsMeansThem) {
    const Text folder = makeTemplateFolder();
    const Text unreachable = L"Unreachable name.dotx";
    for (const wchar_t* name : {L"Plain.dot", L"Pending.dot", unreachable.c_str()}) {
        makeFile(Text(L"Halvoran\\template\\") + name);
    }
    makeFile(L"Halvoran\\template\\ReadOnly.dot", FILE_ATTRIBUTE_READONLY);
    ScriptedFileCalls calls;
    calls.answerOpen = [&](const Text& name, ACCESS_MASK access) -> std::optional<NTSTATUS> {
        if ((access & FILE_WRITE_ATTRIBUTES) != 0) {
            return statusAccessDenied;
        }
        if (name == L"Pending.dot") {
            return statusDeletePending;
        }
        return name == unreachable ? std::optional(statusObjectNameNotFound) : std::nullopt;
    };
    const auto pinned = holdFolderPath(folder, calls);
    ASSERT_EQ(pinned->files().size(), 4u);
    EXPECT_TRUE(pinned->deleteFile(folder + L"Plain.dot"));
    EXPECT_FALSE(exists(folder + L"Plain.dot"));
    EXPECT_TRUE(pinned->deleteFile(folder + L"Pending.dot"));
    EXPECT_EQ(raisedBy([&] { pinned->deleteFile(folder + L"ReadOnly.dot"); }).description,
              L"Permission denied");
    EXPECT_NE(attributesOf(folder + L"ReadOnly.dot") & FILE_ATTRIBUTE_READONLY, 0u);
    const ErrorInfo notFound = raisedBy([&] { pinned->deleteFile(folder + unreachable); });
    EXPECT_EQ(notFound.number, 53);
    EXPECT_TRUE(exists(folder + unreachable));

    calls.unnamedFinalPath = L"\\template";
    EXPECT_EQ(raisedBy([&] { holdFolderPath(folder, calls); }).description,
              L"Path/File access error: GetFinalPathNameByHandleW failed for " + base +
                  L"\\Halvoran\\template: Permission denied");
}

// A home folder that grants only its user and SYSTEM: the administrator's
// account is denied every open in it. Pinned as a backup program opens it,
// each denied open is tried once more with the backup and restore
// privileges enabled and backup intent, and the privileges are put back
// right after it; the files go, a read-only one too, and the pin says it
// needed them. Without the privileges, or pinned as the window pins, it is
// "Permission denied" and nothing changes.
TEST_F(Win32FolderPinTest, AFolderDeniedToTheAccountOpensOnlyWithTheBackupPrivileges) {
    makeFolder(L"Denied");
    makeFolder(L"Denied\\Halvoran");
    makeFolder(L"Denied\\Halvoran\\template");
    const Text folder = base + L"\\Denied\\Halvoran\\template\\";
    makeFile(L"Denied\\Halvoran\\template\\Letter.dotx");
    makeFile(L"Denied\\Halvoran\\template\\Normal.dotx", FILE_ATTRIBUTE_READONLY);
    ScriptedFileCalls calls;
    calls.deniedFolder = L"Denied";

    calls.privilegesHeld = true;
    EXPECT_EQ(raisedBy([&] { holdFolderPath(folder, calls); }).number, 70);
    EXPECT_TRUE(calls.privilegeCalls.empty());

    calls.privilegesHeld = false;
    EXPECT_EQ(raisedBy([&] { holdFolderPathAsBackup(folder, calls); }).description,
              L"Permission denied");
    EXPECT_EQ(calls.privilegeCalls, std::vector<std::string>{"enable"});

    calls.privilegesHeld = true;
    calls.privilegeCalls.clear();
    const auto pinned = holdFolderPathAsBackup(folder, calls);
    EXPECT_FALSE(calls.privilegesEnabled);
    for (const Text& file : pinned->files()) {
        EXPECT_TRUE(pinned->deleteFile(file));
        EXPECT_FALSE(calls.privilegesEnabled);
    }
    pinned->confirmUnchanged();
    EXPECT_TRUE(pinned->usedBackupPrivileges());
    EXPECT_FALSE(exists(folder + L"Letter.dotx"));
    EXPECT_FALSE(exists(folder + L"Normal.dotx"));
    ASSERT_GE(calls.privilegeCalls.size(), 6u);
    for (std::size_t index = 0; index < calls.privilegeCalls.size(); ++index) {
        EXPECT_EQ(calls.privilegeCalls[index], index % 2 == 0 ? "enable" : "restore") << index;
    }
    const auto above = holdFolderPathAsBackup(base + L"\\", calls);
    EXPECT_FALSE(above->usedBackupPrivileges());

    // Pinned from the folder above, a pin says what the opens on its way needed.
    makeFolder(L"Open");
    EXPECT_TRUE(above->pinWithin(folder)->usedBackupPrivileges());
    EXPECT_FALSE(above->pinWithin(base + L"\\Open\\")->usedBackupPrivileges());
    calls.privilegesHeld = false;
    EXPECT_EQ(raisedBy([&] { above->pinWithin(folder); }).number, 70);
}

// A read-only attribute is cleared through a second open by the file's
// name, for writing attributes: a file put in its place between the two
// opens, here a second name of a read-only file elsewhere, is refused
// before either changes.
TEST_F(Win32FolderPinTest, AFileReplacedBeforeItsAttributeIsClearedIsRefused) {
    const Text folder = makeTemplateFolder();
    makeFile(L"Halvoran\\template\\a.dot", FILE_ATTRIBUTE_READONLY);
    makeFolder(L"Other");
    makeFile(L"Other\\Victim.dll", FILE_ATTRIBUTE_READONLY);
    ScriptedFileCalls calls;
    calls.answerOpen = [&](const Text&, ACCESS_MASK access) -> std::optional<NTSTATUS> {
        if ((access & FILE_WRITE_ATTRIBUTES) != 0) {
            EXPECT_TRUE(
                runShell("cd " + shellQuoted(folder) + " && mv a.dot a.moved && ln " +
                             shellQuoted(base + L"\\Other\\Victim.dll") + " a.dot",
                         [&] { return exists(folder + L"a.moved") && exists(folder + L"a.dot"); }));
        }
        return std::nullopt;
    };
    const auto pinned = holdFolderPath(folder, calls);
    EXPECT_EQ(
        raisedBy([&] { pinned->deleteFile(folder + L"a.dot"); }).description,
        L"Path/File access error: " + folder + L"a.dot was replaced while it was being removed");
    for (const Text& file : {base + L"\\Other\\Victim.dll", folder + L"a.moved"}) {
        EXPECT_TRUE(exists(file)) << file.size();
        EXPECT_NE(attributesOf(file) & FILE_ATTRIBUTE_READONLY, 0u) << file.size();
    }
}

}  // namespace
}  // namespace stravik::win32
