#pragma once
// Deleting and listing files and folders, and deleting the product's folders while sparing
// the files it shares with other programs. Nothing here prints or throws; failures only make a result false.
#include <optional>
#include <string>
#include <vector>

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// DeleteFileW on every path; false when any call failed (the rest are still tried).
bool DeleteFiles(const PathList& files);

// DeleteFolderTree on every path that is a folder; an entry that is not a folder, or is refused, counts as a failure.
bool DeleteFolders(const PathList& folders);

// Deletes the folder and everything below it, silently and without the recycle bin.
// Refuses (false) anything that is not plainly one program's folder: see IsDeletableFolder.
bool DeleteFolderTree(const std::wstring& folder);

// SHFileOperationW(FO_DELETE) of the folder, silent and without the recycle bin; no protection test.
[[nodiscard]] bool ShellDeleteTree(const std::wstring& folder);

// False for an empty or relative path, a wildcard or device path, a drive or share root, and for any
// well-known system or shell folder (or a folder that holds one): program files, common files,
// ProgramData, Windows and its Installer and system folders, profiles and every user's shell folders.
bool IsDeletableFolder(const std::wstring& folder);
// The same test against a list of protected folders read once (ProtectedFolders), for many paths.
bool IsDeletableFolder(const std::wstring& folder, const PathList& protectedFolders);

// The folders no deletion may reach: special and shell folders of the machine and every user,
// and the profiles. Throws when a special folder cannot be resolved.
PathList ProtectedFolders();
// The same, never throwing: nothing when they cannot be read, and then no folder counts as deletable.
// Shell folders do not change during a run, so a removal reads them once.
std::optional<PathList> ReadProtectedFolders();

// "X:\..." or "\\server\share\...". A path like "\ZEKT\Velkor" is not relative to Windows, yet it means
// whatever drive is current: nothing of the product is ever named that way, so nothing such is deleted.
bool HasDriveOrUncPrefix(const std::wstring& path);

// Files of the folder whose names match "*." + pattern ("*": every file), in search order;
// with recurse, the files of each subfolder follow right where the subfolder was met.
PathList ListFiles(const std::wstring& folder, const std::wstring& pattern, bool recurse);

// Subfolders in pre-order (each folder before the folders inside it), as full paths or bare names.
PathList ListFolders(const std::wstring& folder, bool namesOnly, bool recurse);

// What DeleteProductFolders deletes, without deleting anything: the folders (free ones, then the
// removable ones inside holding folders) and the files beside the kept ones.
void PlanProductFolders(const PathList& productFolders, const PathList& keepPaths, const PathList& protectedFolders,
                        PathList& folders, PathList& files);

// Deletes the product folders except the keep paths and every folder on the way to them.
// deletedFolders / deletedFiles say what was to be deleted. Files are deleted only when every folder was.
bool DeleteProductFolders(const PathList& productFolders, const PathList& keepPaths, PathList& deletedFolders,
                          PathList& deletedFiles);

}  // namespace Zento::Lithcore
