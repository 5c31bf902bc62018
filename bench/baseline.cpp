// The reference the Remove command is measured against: the files of one
// folder deleted with a plain FindFirstFileW/DeleteFileW loop.
//
//   remove_baseline FOLDER ROUNDS COUNT...      (see timed_rounds.h)

#include "platform/win32/handles.h"
#include "timed_rounds.h"

namespace {

using stravik::win32::UniqueFind;

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
    return stravik::bench::runTimedRounds(argc, argv, deleteFiles);
}
