// The pin on the template folder's path against real folders and real
// links. Wine cannot make junctions or Windows symbolic links, so the
// links here are Unix symbolic links, made on the Unix side of Wine (Wine
// starts a Unix program handed to CreateProcessW); a test that needs one
// is skipped elsewhere.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"
#include "platform/win32/win32_platform.h"
#include "raised_error.h"

namespace stravik::win32 {
namespace {

using stravik::testing::raisedBy;

using UnixFileNameFunction = char*(CDECL*)(LPCWSTR);

UnixFileNameFunction unixFileNameFunction() {
    return loadedEntryPoint<UnixFileNameFunction>(L"kernel32.dll", "wine_get_unix_file_name");
}

bool underWine() { return unixFileNameFunction() != nullptr; }

std::string unixPath(const Text& windowsPath) {
    char* const path = unixFileNameFunction()(windowsPath.c_str());
    const std::string result = path == nullptr ? std::string() : std::string(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

// Quoted for the shell; test paths hold no single quote.
std::string shellQuoted(const Text& windowsPath) { return "'" + unixPath(windowsPath) + "'"; }

bool eventually(const std::function<bool()>& condition) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Wine hands no exit status back for a Unix program, so the caller waits
// for the effect it expects.
bool runShell(const std::string& script, const std::function<bool()>& done) {
    std::wstring commandLine = L"/bin/sh -c \"";
    for (const char character : script) {
        commandLine += static_cast<wchar_t>(static_cast<unsigned char>(character));
    }
    commandLine += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    return eventually(done);
}

DWORD attributesOf(const Text& path) { return GetFileAttributesW(path.c_str()); }

bool exists(const Text& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool isLinkByName(const Text& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

class Win32FolderPinTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!underWine()) {
            GTEST_SKIP() << "links are planted through Wine's Unix side";
        }
        wchar_t temp[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, temp);
        ASSERT_GT(length, 0u);
        base = Text(temp, length) + L"stravik_pin_" + std::to_wstring(GetCurrentProcessId()) +
               L"_" + std::to_wstring(++counter);
        ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    }

    void TearDown() override {
        if (!base.empty()) {
            runShell("rm -rf " + shellQuoted(base), [&] { return !exists(base); });
        }
    }

    void makeFolder(const Text& relative) {
        ASSERT_TRUE(CreateDirectoryW((base + L"\\" + relative).c_str(), nullptr)) << relative;
    }

    // Through the "\\?\" prefix, which lifts the limit of 260 characters.
    void makeFile(const Text& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const Text path = L"\\\\?\\" + base + L"\\" + relative;
        const UniqueFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
        ASSERT_TRUE(file) << relative;
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
        ASSERT_TRUE(runShell("mv " + shellQuoted(folder) + " " + shellQuoted(folder + L".moved") +
                                 " && ln -s " + shellQuoted(base + L"\\" + target) + " " +
                                 shellQuoted(folder),
                             [&] { return isLinkByName(folder); }));
    }

    static inline int counter = 0;
    Win32Platform platform;
    Text base;
};

// Each file is opened inside the held folder by its name alone, so a name
// of 255 characters, whose full path is far over 260, goes like any other,
// read-only or not, whatever its letters. A file that another program
// holds without delete sharing stays, with the number Windows' component
// gives; one already gone is no error.
TEST_F(Win32FolderPinTest, FilesOfAnyNameAreDeletedThroughThePinWhateverTheCase) {
    makeFolder(L"Halvoran");
    makeFolder(L"Halvoran\\Template");
    makeFile(L"Halvoran\\Template\\Brief.dotm");
    const Text longName = Text(250, L'L') + L".dotx";
    makeFile(L"Halvoran\\Template\\" + longName, FILE_ATTRIBUTE_READONLY);
    makeFile(L"Halvoran\\Template\\Normal.dotx", FILE_ATTRIBUTE_READONLY);
    makeFile(L"Halvoran\\Template\\Open.dot");
    // Names that Windows would not allow, made on the Unix side: Wine lists
    // them as they are, opens them by their short names only, and reports
    // them without their trailing dots.
    const Text unixNames = base + L"\\Halvoran\\Template";
    ASSERT_TRUE(
        runShell("cd " + shellQuoted(unixNames) +
                     " && touch 'star*.dot' 'back\\slash.dot' 'trailing dot.' && touch done",
                 [&] { return exists(unixNames + L"\\done"); }));

    const Text folder = base + L"\\HALVORAN\\template\\";
    ASSERT_GT(folder.size() + longName.size(), 300u);
    const auto pinned = platform.pinFolderPath(folder);
    const Text held = base + L"\\Halvoran\\Template\\Open.dot";
    {
        const UniqueFile open(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(open);
        const ErrorInfo error = raisedBy([&] { pinned->deleteFile(held); });
        EXPECT_EQ(error.number, 70);
        EXPECT_EQ(error.description, L"Permission denied");
        EXPECT_TRUE(exists(held));
    }
    for (const Text& file : pinned->files()) {
        EXPECT_TRUE(pinned->deleteFile(file)) << file.size();
    }
    EXPECT_TRUE(pinned->files().empty());
    EXPECT_FALSE(pinned->deleteFile(folder + L"gone.dot"));
    pinned->confirmUnchanged();
}

TEST_F(Win32FolderPinTest, AMissingFolderIsPathNotFound) {
    makeFolder(L"Halvoran");
    const ErrorInfo error =
        raisedBy([&] { platform.pinFolderPath(base + L"\\Halvoran\\template\\"); });
    EXPECT_EQ(error.number, 76);
    EXPECT_EQ(error.description, L"Path not found");
}

// A link at either folder is refused, naming it as it was asked for, and
// nothing it leads to is touched.
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
    EXPECT_TRUE(exists(base + L"\\Other\\template\\Victim.dll"));
}

// A Unix process is not bound by Wine's share checks, so the swap that the
// pin prevents on Windows succeeds here; and Wine resolves a name inside
// the held folder through the folder's path, so the next name leads into
// the other folder. The open file's own name shows it, and Remove stops
// there with the other folder's files intact.
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

}  // namespace
}  // namespace stravik::win32
