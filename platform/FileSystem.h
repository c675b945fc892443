#pragma once
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>

#include <functional>
#include <string>

namespace Zento::Lithcore {

// True when a file or folder matches the path (FindFirstFileW); the find handle is closed at once.
// Never true for a path that ends with a backslash: use QueryPathPresence to ask whether something is there.
bool PathMatchesAnything(const std::wstring& path);

// Names that Windows compares without case (paths, registry key names, GUIDs) are compared by this
// one rule: upper case over all of Unicode, as the file system folds names, not only A-Z.
std::wstring FoldedName(const std::wstring& name);

// The two paths name one file or folder: equal under FoldedName, trailing backslashes aside.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The path is the folder itself or lies below it, by the same rule.
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder);

// The long spelling of a path that may hold 8.3 names (GetLongPathNameW); the path itself when it
// cannot be resolved.
std::wstring LongPathOf(const std::wstring& path);

// The path in a form that compares equal for every spelling of one file: the long form of an existing
// path, folded. Empty stays empty.
std::wstring ComparablePath(const std::wstring& path);

// The absolute form of a path (GetFullPathNameW), for telling the operator where a file is; the path
// itself when it cannot be made absolute.
std::wstring FullPathOf(const std::wstring& path);

// The folder a file lies in: up to, not including, its last backslash; empty for a bare name.
std::wstring FolderOf(const std::wstring& path);

// PathIsDirectoryW: the path names an existing folder.
bool IsFolder(const std::wstring& path);

struct PathPresence {
    bool present;
    DWORD error;  // why the path could not be read (it then counts as present); 0 otherwise
};

// Whether a file or folder is at the path, trailing backslashes or not. Only "file not found" and
// "path not found" mean gone: a path that cannot be read (access denied, too long...) is still there.
[[nodiscard]] PathPresence QueryPathPresence(const std::wstring& path);

// The path that an open of `path` really reaches, every junction and symbolic link on the way followed
// (GetFinalPathNameByHandleW), as "X:\..." or "\\server\share\..."; empty when it cannot be opened.
std::wstring FinalPathOf(const std::wstring& path);

inline bool IsFolderEntry(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or symbolic link may lead outside the folder being walked: never descend into one.
inline bool IsLinkEntry(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

using EntryVisitor = std::function<void(const std::wstring& path, const WIN32_FIND_DATAW& entry)>;

// Calls `visit` with the full path of each entry of the folder, "." and ".." aside, in search order. The
// find handle is closed when this returns, so the folder itself can be removed then.
void ForEachEntry(const std::wstring& folder, const EntryVisitor& visit);

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::System {

// The file functions that the deletion and the presence check call, gathered in one table so that a
// test can put a refusing table in its place. The product always runs on the system's own table.
struct FileApi {
    decltype(&::GetFileAttributesW) getFileAttributes;
    decltype(&::SetFileAttributesW) setFileAttributes;
    decltype(&::DeleteFileW) deleteFile;
    decltype(&::RemoveDirectoryW) removeDirectory;
    decltype(&::CreateFileW) createFile;
    decltype(&::MoveFileExW) moveFileEx;
    decltype(&::SHFileOperationW) shellFileOperation;
    decltype(&::GetFinalPathNameByHandleW) getFinalPathNameByHandle;
    decltype(&::GetSecurityInfo) getSecurityInfo;  // the owner of a link
    decltype(&::FindFirstFileW) findFirstFile;
    decltype(&::FindNextFileW) findNextFile;
};

// The table in use.
const FileApi& Files();

// Test seam: puts `table` in place of the one in use (null restores the system's table) and returns
// the table it replaced.
const FileApi* ReplaceFileApi(const FileApi* table);

}  // namespace Zento::Lithcore::System
