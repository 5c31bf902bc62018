#include "timed_rounds.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/win32/handles.h"

namespace stravik::bench {

namespace {

using win32::UniqueFile;

long long microsecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
}

}  // namespace

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

int runTimedRounds(int argc, wchar_t** argv, const DeletionLoop& loop) {
    if (argc < 4) {
        std::puts("usage: PROGRAM FOLDER ROUNDS COUNT...");
        return 2;
    }
    const std::wstring folder = argv[1];
    const unsigned long rounds = std::wcstoul(argv[2], nullptr, 10);
    std::vector<unsigned long> counts;
    for (int i = 3; i < argc; ++i) counts.push_back(std::wcstoul(argv[i], nullptr, 10));

    for (const unsigned long count : counts) {
        for (unsigned long round = 1; round <= rounds; ++round) {
            if (!makeFiles(folder, count)) {
                std::puts("cannot create the files");
                return 1;
            }
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            const unsigned long deleted = loop(folder);
            const long long took = microsecondsSince(start);
            std::printf("files %lu round %lu: %lld us, %lu deleted\n", count, round, took, deleted);
            std::fflush(stdout);
            if (deleted != count) return 1;
        }
    }
    return 0;
}

}  // namespace stravik::bench
