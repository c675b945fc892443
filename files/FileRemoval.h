#pragma once
// Listing files and folders, the folders no deletion may reach, and what to delete of the product's
// folders while sparing the files it shares with other programs. Nothing here prints or throws.
#include <optional>
#include <string>
#include <vector>

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// False for an empty or relative path, a wildcard or device path, a drive or share root, and for any
// protected folder (ProtectedFolders) or a folder that holds one.
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

// A path that names a file with the extension .msi directly in <windowsFolder>\Installer, where the
// installer keeps its cached packages; both with drive or share, letter case aside. A path with "." or
// ".." parts, a subfolder, a stream or a wildcard is not one.
bool IsCachedInstallerPackage(const std::wstring& path, const std::wstring& windowsFolder);

// Files of the folder whose names match "*." + pattern ("*": every file), in search order;
// with recurse, the files of each subfolder follow right where the subfolder was met.
PathList ListFiles(const std::wstring& folder, const std::wstring& pattern, bool recurse);

// Subfolders in pre-order (each folder before the folders inside it), as full paths or bare names.
PathList ListFolders(const std::wstring& folder, bool namesOnly, bool recurse);

// What to delete of the product folders so that the keep paths and every folder on the way to them
// stay: the folders (free ones, then the removable ones inside holding folders, each before the
// folders inside it) and the files beside the kept ones. Deletes nothing.
void PlanProductFolders(const PathList& productFolders, const PathList& keepPaths, const PathList& protectedFolders,
                        PathList& folders, PathList& files);

}  // namespace Zento::Lithcore
