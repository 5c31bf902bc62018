// The reference a sweep over home folders is measured against: the same
// listing and deletions as a plain FindFirstFileW/DeleteFileW loop, with
// none of the sweep's checks (no link refused, nothing held, no record).
//
//   sweep_baseline HOMES     prints "MICROSECONDS us, HOMES homes, FILES deleted"

#include <cstdio>
#include <string>

#include "platform/win32/handles.h"

namespace {

using stravik::win32::UniqueFind;

// Calls `each` with every entry of `pattern` but "." and "..".
template <typename Each>
void forEachEntry(const std::wstring& pattern, const Each& each) {
    WIN32_FIND_DATAW entry{};
    const UniqueFind find(FindFirstFileW(pattern.c_str(), &entry));
    if (!find) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") each(name, entry.dwFileAttributes);
    } while (FindNextFileW(find.get(), &entry));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: sweep_baseline HOMES\n", stderr);
        return 87;
    }
    const std::wstring homes = argv[1];
    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    unsigned long folders = 0, deleted = 0;
    forEachEntry(homes + L"\\*", [&](const std::wstring& home, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
        ++folders;
        const std::wstring templates = homes + L"\\" + home + L"\\Halvoran\\template\\";
        forEachEntry(templates + L"*", [&](const std::wstring& file, DWORD fileAttributes) {
            if (!(fileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                DeleteFileW((templates + file).c_str()))
                ++deleted;
        });
    });
    QueryPerformanceCounter(&end);
    std::printf("%lld us, %lu homes, %lu deleted\n",
                (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart, folders, deleted);
    return 0;
}
