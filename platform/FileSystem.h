#pragma once
#include <string>

namespace Zento::Lithcore {

// True when a file or folder matches the path (FindFirstFileW); the find handle is closed at once.
bool PathMatchesAnything(const std::wstring& path);

// PathIsDirectoryW: the path names an existing folder.
bool IsFolder(const std::wstring& path);

}  // namespace Zento::Lithcore
