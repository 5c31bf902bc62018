#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"
#include "raised_error.h"
#include "shell/removal_form.h"

namespace stravik::win32 {
namespace {

using stravik::testing::raisedBy;

// The real file-system component on a fresh temporary folder.
class Win32FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, temp);
        ASSERT_GT(length, 0u);
        folder = Text(temp, length) + L"stravik_fso_" + std::to_wstring(GetCurrentProcessId()) +
                 L"_" + std::to_wstring(::testing::UnitTest::GetInstance()->random_seed()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        fileSystem = platform.createObject(L"Scripting.FileSystemObject");
        ASSERT_NE(fileSystem, nullptr);
    }

    void TearDown() override {
        fileSystem.reset();
        SHFILEOPSTRUCTW removal{};
        const Text from = folder.substr(0, folder.size() - 1) + L'\0';
        removal.wFunc = FO_DELETE;
        removal.pFrom = from.c_str();
        removal.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
        SHFileOperationW(&removal);
    }

    Text makeFile(const Text& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const Text path = folder + name;
        const UniqueFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
        EXPECT_TRUE(file);
        return path;
    }

    static bool exists(const Text& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ComApartment apartment;
    Win32Platform platform;
    Text folder;
    std::unique_ptr<FileSystemComponent> fileSystem;
};

TEST_F(Win32FileSystemTest, AnUnknownComponentCannotBeCreated) {
    const ErrorInfo error = raisedBy([&] { platform.createObject(L"Stravik.NoSuchComponent"); });
    EXPECT_EQ(error.number, 429);
    EXPECT_EQ(error.description, L"ActiveX component can't create object");
}

TEST_F(Win32FileSystemTest, AMissingFolderRaisesPathNotFound) {
    const ErrorInfo error = raisedBy([&] { fileSystem->GetFolder(folder + L"missing\\"); });
    EXPECT_EQ(error.number, 76);
    EXPECT_EQ(error.description, L"Path not found");
}

TEST_F(Win32FileSystemTest, ForceDeletesReadOnlyFilesToo) {
    for (const Text& file : {makeFile(L"one.dot"), makeFile(L"two.dot", FILE_ATTRIBUTE_READONLY)}) {
        fileSystem->DeleteFile(file, true);
        EXPECT_FALSE(exists(file));
    }
}

TEST_F(Win32FileSystemTest, DeletingAMissingFileRaisesFileNotFound) {
    const ErrorInfo error = raisedBy([&] { fileSystem->DeleteFile(folder + L"gone.ocx", true); });
    EXPECT_EQ(error.number, 53);
    EXPECT_EQ(error.description, L"File not found");
}

bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(Win32FileSystemTest, AFileHeldOpenWithoutSharingStays) {
    const Text path = makeFile(L"held.dotm");
    const UniqueFile held(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const ErrorInfo error = raisedBy([&] { fileSystem->DeleteFile(path, true); });
    // Wine's component reports a file held open as E_FAIL; Windows reports 70.
    EXPECT_EQ(formatErrorMessage(error), runningUnderWine() ? L"Error #-2147467259: Call failed."
                                                            : L"Error # 70: Permission denied.");
    EXPECT_TRUE(exists(path));
}

TEST_F(Win32FileSystemTest, FileExistsTellsFilesFromEverythingElse) {
    const Text file = makeFile(L"QuorwenDocumentAutomation.OCX");
    EXPECT_TRUE(fileSystem->FileExists(file));
    EXPECT_FALSE(fileSystem->FileExists(folder + L"Halvoran.dot"));
    EXPECT_FALSE(fileSystem->FileExists(folder));
    EXPECT_FALSE(fileSystem->FileExists(Text()));
}

}  // namespace
}  // namespace stravik::win32
