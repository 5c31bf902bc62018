// The reference the Remove command is measured against: the files of one
// folder deleted with a plain FindFirstFileW/DeleteFileW loop.
//
//   baseline FOLDER COUNT ROUNDS
//
// Each round creates COUNT empty files named file0000.dat and on in FOLDER,
// then times their deletion and prints "round N: M ms, K files".

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/win32/handles.h"

namespace {

using stravik::win32::UniqueFile;
using stravik::win32::UniqueFind;

bool makeFiles(const std::wstring& folder, unsigned long count) {
    for (unsigned long i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\file%04lu.dat", i);
        const UniqueFile file(CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
    }
    return true;
}

unsigned long deleteFiles(const std::wstring& folder) {
    unsigned long deleted = 0;
    WIN32_FIND_DATAW entry{};
    const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            DeleteFileW((folder + L"\\" + entry.cFileName).c_str()))
            ++deleted;
    } while (FindNextFileW(find.get(), &entry));
    return deleted;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::puts("usage: baseline FOLDER COUNT ROUNDS");
        return 2;
    }
    const std::wstring folder = argv[1];
    const unsigned long count = std::wcstoul(argv[2], nullptr, 10);
    const unsigned long rounds = std::wcstoul(argv[3], nullptr, 10);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (unsigned long round = 1; round <= rounds; ++round) {
        if (!makeFiles(folder, count)) {
            std::puts("cannot create the files");
            return 1;
        }
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const unsigned long deleted = deleteFiles(folder);
        QueryPerformanceCounter(&end);
        std::printf("round %lu: %lld ms, %lu files\n", round,
                    (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, deleted);
        std::fflush(stdout);
        if (deleted != count) return 1;
    }
    return 0;
}
