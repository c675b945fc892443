#pragma once
#include <windows.h>

#include <string>

namespace Zento::Lithcore {

// True when a file or folder matches the path (FindFirstFileW); the find handle is closed at once.
bool PathMatchesAnything(const std::wstring& path);

// Whether a path is still there, for the check at the end: gone only when Windows says the file or
// its path is not found; any other answer leaves it there, with the error for the log.
struct PathPresence {
    bool present;
    DWORD error;  // ERROR_SUCCESS when the answer was plain
};
[[nodiscard]] PathPresence QueryPathPresence(const std::wstring& path);

// The path in a form that compares equal for every spelling of one file: the long form of an existing
// path (GetLongPathNameW, so an 8.3 name matches), in upper case. Empty stays empty.
std::wstring ComparablePath(const std::wstring& path);

// PathIsDirectoryW: the path names an existing folder.
bool IsFolder(const std::wstring& path);

}  // namespace Zento::Lithcore
