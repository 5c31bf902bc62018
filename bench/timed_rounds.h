#pragma once

// What the benchmark's deletion loops share: the files to delete and the
// timed rounds. A loop program is run as
//
//   PROGRAM FOLDER ROUNDS COUNT...
//
// and for each COUNT, ROUNDS times: creates COUNT empty files named
// file0000.dat and on in FOLDER (not timed), times one call of the loop on
// FOLDER and prints "files COUNT round N: MICROSECONDS us, DELETED deleted".

#include <functional>
#include <string>

namespace stravik::bench {

// Deletes every file directly in the folder; returns how many it deleted.
using DeletionLoop = std::function<unsigned long(const std::wstring& folder)>;

// Creates `count` empty files named file0000.dat and on in the folder.
bool makeFiles(const std::wstring& folder, unsigned long count);

// Runs the rounds the command line asks for; the program's exit status.
int runTimedRounds(int argc, wchar_t** argv, const DeletionLoop& loop);

}  // namespace stravik::bench
