#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"
#include "raised_error.h"
#include "shell/removal_form.h"
#include "wine_host.h"

namespace stravik::win32 {
namespace {

using host::exists;
using host::TemporaryFolder;
using host::underWine;
using stravik::testing::raisedBy;

// The real file-system component on a fresh temporary folder.
class Win32FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temporary.path().empty());
        fileSystem = platform.createObject(L"Scripting.FileSystemObject");
        ASSERT_NE(fileSystem, nullptr);
    }

    void TearDown() override { fileSystem.reset(); }

    Text makeFile(const Text& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const Text path = folder + name;
        EXPECT_TRUE(host::makeFile(path, attributes));
        return path;
    }

    TemporaryFolder temporary{L"stravik_fso_"};
    const Text folder = temporary.path() + L"\\";
    ComApartment apartment;
    Win32Platform platform;
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

TEST_F(Win32FileSystemTest, AFileHeldOpenWithoutSharingStays) {
    const Text path = makeFile(L"held.dotm");
    const UniqueFile held(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const ErrorInfo error = raisedBy([&] { fileSystem->DeleteFile(path, true); });
    // Wine's component reports a file held open as E_FAIL; Windows reports 70.
    EXPECT_EQ(formatErrorMessage(error), underWine() ? L"Error #-2147467259: Call failed."
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
