// Where the Remove command's time goes: the steps of its template-folder
// loop timed one by one, with the program's own platform code.
//
//   remove_profile FOLDER ROUNDS COUNT
//
// Each round creates COUNT files (see timed_rounds.h), then, as Remove
// does: pins FOLDER (pin); asks the file-system component for the folder,
// which says "Path not found" when it is missing, and lists the files from
// the held folder (list); deletes each file through the pin, opened by its
// name inside the held folder, checked, its read-only attribute cleared if
// set and marked for deletion on that one handle (delete); and confirms at
// the end that the folder's path still leads to the held folder (confirm).
// It prints each step's total in microseconds.

#include <chrono>
#include <cstdio>
#include <cwchar>

#include "platform/win32/file_system_object.h"
#include "platform/win32/folder_pin.h"
#include "platform/win32/handles.h"
#include "timed_rounds.h"

namespace {

using Clock = std::chrono::steady_clock;

long long microseconds(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::puts("usage: remove_profile FOLDER ROUNDS COUNT");
        return 2;
    }
    const std::wstring folderPath = argv[1];
    const unsigned long rounds = std::wcstoul(argv[2], nullptr, 10);
    const unsigned long count = std::wcstoul(argv[3], nullptr, 10);
    const stravik::win32::ComApartment apartment;
    try {
        const auto fileSystem =
            stravik::win32::createFileSystemComponent(L"Scripting.FileSystemObject");
        for (unsigned long round = 1; round <= rounds; ++round) {
            if (!stravik::bench::makeFiles(folderPath, count)) {
                std::puts("cannot create the files");
                return 1;
            }
            const auto start = Clock::now();
            const auto pinned = stravik::win32::holdFolderPath(folderPath);
            const auto pinnedAt = Clock::now();
            fileSystem->GetFolder(folderPath);
            const auto files = pinned->files();
            const auto listedAt = Clock::now();
            for (const auto& file : files) {
                pinned->deleteFile(file);
            }
            const auto deletedAt = Clock::now();
            pinned->confirmUnchanged();
            const auto confirmedAt = Clock::now();
            std::printf(
                "round %lu: pin %lld us, list %lld us, delete %lld us, confirm %lld us, "
                "%zu files\n",
                round, microseconds(pinnedAt - start), microseconds(listedAt - pinnedAt),
                microseconds(deletedAt - listedAt), microseconds(confirmedAt - deletedAt),
                files.size());
            std::fflush(stdout);
        }
    } catch (const stravik::RaisedError& error) {
        std::printf("Error # %d: %ls\n", static_cast<int>(error.info().number),
                    error.info().description.c_str());
        return 1;
    }
    return 0;
}
