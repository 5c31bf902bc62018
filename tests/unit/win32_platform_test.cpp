#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"

namespace stravik::win32 {
namespace {

using namespace std::string_literals;

TEST(Win32Text, ConversionsKeepEveryCharacterAnEmbeddedTerminatorIncluded) {
    Win32Platform platform;
    const Text wide = L"H:\0x "s;
    const NarrowText narrowed = platform.narrow(wide);
    EXPECT_EQ(narrowed, "H:\0x "s);
    EXPECT_EQ(platform.widen(narrowed), wide);
    EXPECT_EQ(platform.narrow(Text()), NarrowText());
    EXPECT_EQ(platform.widen(NarrowText()), Text());
}

TEST(Win32Text, ConversionsUseTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the ANSI code page here is " << GetACP();
    }
    Win32Platform platform;
    EXPECT_EQ(platform.narrow(L"Caf\u00e9"), "Caf\xe9");
    EXPECT_EQ(platform.widen("\x80"), L"\u20ac");
}

TEST(Win32Registry, RootsAreThePredefinedKeys) {
    EXPECT_EQ(rootKey(RegistryRoot::classesRoot), HKEY_CLASSES_ROOT);
    EXPECT_EQ(rootKey(RegistryRoot::localMachine), HKEY_LOCAL_MACHINE);
}

// A scratch key under HKEY_CLASSES_ROOT, made afresh for every test.
class Win32RegistryTest : public ::testing::Test {
protected:
    static constexpr const char* scratchKey = "StravikUnitTestScratch";

    void SetUp() override { ::SHDeleteKeyA(HKEY_CLASSES_ROOT, scratchKey); }
    void TearDown() override { ::SHDeleteKeyA(HKEY_CLASSES_ROOT, scratchKey); }

    static void createKey(const std::string& subKey) {
        UniqueKey key;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT,
                                (std::string(scratchKey) + "\\" + subKey).c_str(), key.put()),
                  ERROR_SUCCESS);
    }

    static void setText(const std::string& subKey, const char* name, const std::string& data) {
        UniqueKey key;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT,
                                (std::string(scratchKey) + "\\" + subKey).c_str(), key.put()),
                  ERROR_SUCCESS);
        RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    }

    static bool keyExists(const std::string& subKey) {
        UniqueKey key;
        const std::string path = std::string(scratchKey) + "\\" + subKey;
        return ::RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), key.put()) == ERROR_SUCCESS;
    }

    static bool valueExists(const std::string& subKey, const char* name) {
        const std::string path = std::string(scratchKey) + "\\" + subKey;
        return SHGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

    // Opens the scratch sub-key through the platform and reads its
    // default value into a 10-byte buffer of blanks.
    std::string readDefaultValue(const std::string& subKey, std::int32_t& status) {
        RegistryHandle key = 0;
        platform.RegOpenKeyA(RegistryRoot::classesRoot, std::string(scratchKey) + "\\" + subKey,
                             key);
        std::array<char, 10> buffer;
        buffer.fill(' ');
        std::uint32_t length = buffer.size();
        std::uint32_t type = 0;
        status = platform.RegQueryValueExA(key, "", 0, type, buffer, length);
        platform.RegCloseKey(key);
        return std::string(buffer.data(), buffer.size());
    }

    Win32Platform platform;
};

TEST_F(Win32RegistryTest, OpeningAMissingKeyLeavesTheHandleZero) {
    RegistryHandle key = 0;
    EXPECT_NE(platform.RegOpenKeyA(RegistryRoot::classesRoot, "StravikUnitTestScratch\\none", key),
              ERROR_SUCCESS);
    EXPECT_EQ(key, 0u);
    EXPECT_NE(platform.RegCloseKey(0), ERROR_SUCCESS);
}

TEST_F(Win32RegistryTest, AValueThatFitsIsWrittenWithItsTerminatorAndTheRestIsLeft) {
    setText("Drive", "", "H:");
    std::int32_t status = -1;
    EXPECT_EQ(readDefaultValue("Drive", status), "H:\0       "s);
    EXPECT_EQ(status, ERROR_SUCCESS);

    setText("Full", "", "ABCDEFGHI");  // nine characters and the terminator
    EXPECT_EQ(readDefaultValue("Full", status), "ABCDEFGHI\0"s);
}

TEST_F(Win32RegistryTest, AValueThatDoesNotFitLeavesTheBufferUntouched) {
    setText("Long", "", "ABCDEFGHIJ");  // eleven bytes with the terminator
    std::int32_t status = -1;
    EXPECT_EQ(readDefaultValue("Long", status), std::string(10, ' '));
    EXPECT_EQ(status, ERROR_MORE_DATA);
}

TEST_F(Win32RegistryTest, NothingToReadLeavesTheBufferUntouched) {
    createKey("Empty");
    std::int32_t status = -1;
    EXPECT_EQ(readDefaultValue("Empty", status), std::string(10, ' '));
    EXPECT_NE(status, ERROR_SUCCESS);
    EXPECT_EQ(readDefaultValue("Missing", status), std::string(10, ' '));
    EXPECT_NE(status, ERROR_SUCCESS);
}

TEST_F(Win32RegistryTest, DeletingAKeyTakesItsWholeTreeAndASlashIsPartOfAName) {
    createKey("Tree\\Branch\\Leaf");
    createKey("a\\b");
    createKey("a/b");
    platform.SHDeleteKeyA(RegistryRoot::classesRoot, std::string(scratchKey) + "\\Tree");
    platform.SHDeleteKeyA(RegistryRoot::classesRoot, std::string(scratchKey) + "\\a/b");
    EXPECT_FALSE(keyExists("Tree"));
    EXPECT_FALSE(keyExists("a/b"));
    EXPECT_TRUE(keyExists("a\\b"));
    // Missing keys are no failure worth raising.
    EXPECT_NO_THROW(
        platform.SHDeleteKeyA(RegistryRoot::classesRoot, std::string(scratchKey) + "\\Tree"));
}

TEST_F(Win32RegistryTest, DeletingAValueTakesThatValueOnly) {
    setText("Shared", "C:\\WINDOWS\\a.ocx", "1");
    setText("Shared", "C:\\WINDOWS\\b.ocx", "1");
    platform.SHDeleteValueA(RegistryRoot::classesRoot, std::string(scratchKey) + "\\Shared",
                            "C:\\WINDOWS\\a.ocx");
    EXPECT_FALSE(valueExists("Shared", "C:\\WINDOWS\\a.ocx"));
    EXPECT_TRUE(valueExists("Shared", "C:\\WINDOWS\\b.ocx"));
}

TEST(Win32WindowsDirectory, APathThatFitsIsWrittenWithItsTerminatorOnly) {
    Win32Platform platform;
    std::string buffer(144, ' ');
    const std::uint32_t length = platform.GetWindowsDirectoryA(buffer);
    char expected[MAX_PATH];
    ASSERT_EQ(length, ::GetWindowsDirectoryA(expected, MAX_PATH));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(buffer.substr(0, length + 1), std::string(expected, length + 1));
    EXPECT_EQ(buffer.substr(length + 1), std::string(144 - length - 1, ' '));
}

TEST(Win32WindowsDirectory, APathThatDoesNotFitWritesNothing) {
    Win32Platform platform;
    std::string buffer(3, ' ');
    EXPECT_GT(platform.GetWindowsDirectoryA(buffer), 3u);
    EXPECT_EQ(buffer, "   ");
}

TEST(Win32SystemLibraries, AreNeverTakenFromTheProgramsFolder) {
    // A library planted beside the program, where an ordinary load finds it.
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    ASSERT_GT(length, 0u);
    Text planted(program, length);
    planted.replace(planted.rfind(L'\\') + 1, Text::npos, L"stravik_planted.dll");
    ASSERT_TRUE(CopyFileW(program, planted.c_str(), FALSE));
    {
        const UniqueModule ordinary(
            LoadLibraryExW(L"stravik_planted.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        EXPECT_TRUE(ordinary);
        const UniqueModule restricted(loadSystemLibrary(L"stravik_planted.dll"));
        EXPECT_FALSE(restricted);
        const UniqueModule shell(loadSystemLibrary(L"shell32.dll"));
        EXPECT_TRUE(shell);
    }
    DeleteFileW(planted.c_str());
}

TEST(Win32Administrator, TheShellIsAskedWithoutRaising) {
    Win32Platform platform;
    EXPECT_NO_THROW(platform.isAdministrator());
}

}  // namespace
}  // namespace stravik::win32
