#pragma once

// What makes a folder or a file the one asked for: no link on the way, the
// final path its names lead to, and its name as its folder lists it, names
// compared as Windows compares them. What only Wine shows is gathered in
// wineOnly, each case with the reason it exists.

#include <optional>
#include <string_view>

#include "platform/platform_services.h"
#include "platform/win32/native_files.h"

namespace stravik::win32 {

// Without regard to case, as Windows compares names.
bool sameName(std::wstring_view one, std::wstring_view other);

// A junction, mount point or symbolic link, seen through a handle opened
// without following it (and, under Wine, by its path).
bool isLink(DWORD handleAttributes, const Text& path);

// The name under which `folder` lists the entry `name` (which may be its
// short name, in any case), or none when it lists no such entry.
std::optional<Text> listedName(const NativeFileCalls& calls, HANDLE folder, const Text& name);

// The path the system resolves `handle` to, without a closing separator;
// none where it cannot say (before Vista, or a file system that does not
// answer).
std::optional<Text> finalPathOf(const NativeFileCalls& calls, HANDLE handle);

// `handle`, opened by `path`, must resolve to `expected`: raises 75 naming
// `path` as a link when it resolves elsewhere, and 75 naming the call when
// the system cannot say.
void confirmFinalPath(const NativeFileCalls& calls, HANDLE handle, const Text& expected,
                      const Text& path);

// An open file's name from the volume's root names the entry at
// `entryPath` (its folder's name and its listed name), rather than what a
// link led to.
bool namesTheEntry(const Text& openName, const Text& entryPath);

// What only Wine shows. Windows allows no such names, opens a link as
// itself and reports an open file's name as its folder lists it, so on
// Windows none of these changes an answer.
namespace wineOnly {

// Wine lists Unix names as they are: a name such as "..\x" must never be
// looked up as a path. (A name longer than a counted string can hold, which
// no system can have, is refused with them.)
bool isPathLike(const Text& name);

// Wine lists names with characters that Windows forbids ("star*.dot") but
// refuses to open them as they are, with this status; they open by the
// short name it lists for them. Never after any other failure: on Windows
// a file opened by its short name reports that name, not the listed one.
bool opensOnlyByShortName(NTSTATUS status);

// Wine leaves trailing dots and spaces out of an open file's name.
Text withoutTrailingDotsAndSpaces(const Text& name);

// A handle opened without following links still follows a Unix symbolic
// link; the path's attributes show the link as a reparse point.
bool pathShowsALink(const Text& path);

}  // namespace wineOnly

}  // namespace stravik::win32
