#pragma once
// Listing files and folders, the folders no deletion may reach, and what to delete of the product's
// folders while sparing the files it shares with other programs. Nothing here prints or throws.
#include <optional>
#include <string>
#include <vector>

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// Why a file or folder may not be deleted.
enum class PathRefusal {
    None,         // it may be deleted
    BadPath,      // empty, relative, without drive or share, a wildcard or device path, a drive or share root
    Protected,    // a folder that is or holds a protected folder (ProtectedFolders); a file: its folder is one
    ThroughLink,  // reached through a junction or symbolic link that neither the administrators, SYSTEM,
                  // TrustedInstaller nor the account running this program owns
    LocalShare,   // a share path that leads back to this computer, or an administrative share (C$, ADMIN$)
};

// The one judgement of a path that is to be deleted. Protected folders are compared by the paths that an
// open really reaches (FinalPathOf), so every spelling of one is known; a path that does not exist yet is
// compared through its nearest existing folder. The target itself is never resolved: a target that is a
// junction or symbolic link is judged where the link lies, and goes as a link.
[[nodiscard]] PathRefusal JudgeDeletablePath(const std::wstring& path, bool isFolder, const PathList& protectedFolders);

// JudgeDeletablePath(folder, true, protectedFolders) == PathRefusal::None.
bool IsDeletableFolder(const std::wstring& folder, const PathList& protectedFolders);

// The folders no deletion may reach: special and shell folders of the machine and every user,
// and the profiles, each also in the form an open of it really reaches. Nothing when they cannot be read,
// and then no folder counts as deletable. Shell folders do not change during a run, so a removal reads them once.
std::optional<PathList> ReadProtectedFolders();

// "X:\..." or "\\server\share\...". A path like "\ZEKT\Velkor" is not relative to Windows, yet it means
// whatever drive is current: nothing of the product is ever named that way, so nothing such is deleted.
bool HasDriveOrUncPrefix(const std::wstring& path);

// A path that names a file with the extension .msi directly in <windowsFolder>\Installer, where the
// installer keeps its cached packages; both with drive or share, letter case aside. A path with "." or
// ".." parts, a subfolder, a stream or a wildcard is not one.
bool IsCachedInstallerPackage(const std::wstring& path, const std::wstring& windowsFolder);
// The same for a cached patch package (".msp").
bool IsCachedPatchPackage(const std::wstring& path, const std::wstring& windowsFolder);

// The files directly in the folder, in search order; none when the folder is a link.
PathList ListFiles(const std::wstring& folder);

// Every subfolder below the folder as a full path, in pre-order (each folder before the folders inside it).
// A link is listed, never entered; a folder that is a link is not listed.
PathList ListFolders(const std::wstring& folder);

// What to delete of the product folders so that the keep paths and every folder on the way to them
// stay: the folders (free ones, then the removable ones inside holding folders, each before the
// folders inside it) and the files beside the kept ones. A product folder that is a link is planned as a
// whole (its link goes), or left when keep paths lie below it; no link is entered. Deletes nothing.
void PlanProductFolders(const PathList& productFolders, const PathList& keepPaths, const PathList& protectedFolders,
                        PathList& folders, PathList& files);

}  // namespace Zento::Lithcore
