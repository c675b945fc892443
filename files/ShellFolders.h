#pragma once
// Special folders, and the product's traces in every user's shell folders
// (AppData, Desktop, Startup, Start-menu Programs) and in the all-users ones.
// Searches only look: they append to the caller's list and return true when they added something.
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "settings/Settings.h"

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// The folder of a CSIDL, or empty when the system has none for it.
std::wstring GetSpecialFolderPath(int csidl);

// Every user's folder named by valueName in their shell folders ("AppData", "Programs", "Startup",
// "Desktop"), and the all-users one ("Common Programs", ...), as the registry names them; empty ones left out.
PathList EveryUserShellFolder(RegistryView view, const std::wstring& valueName);
PathList CommonShellFolder(RegistryView view, const std::wstring& valueName);

// Each user's AppData folder joined with subPath, when that is a folder.
bool FindUserAppDataFolders(RegistryView view, const std::wstring& subPath, PathList& folders);

// Each user's folder named by valueName ("Startup" or "Desktop"), backslash, name, ".lnk", when it exists.
bool FindUserShortcuts(RegistryView view, const std::wstring& valueName, const PathList& names, PathList& shortcuts);

// As FindUserShortcuts over the all-users folder ("Common Startup" or "Common Desktop"); each path once.
bool FindCommonShortcuts(RegistryView view, const std::wstring& valueName, const PathList& names, PathList& shortcuts);

// Each user's Programs folder joined with a menu sub-path, when that folder holds one of the shortcuts; each once.
bool FindUserMenuFolders(RegistryView view, const PathList& menuSubPaths, const PathList& names, PathList& folders);

// As FindUserMenuFolders under the all-users "Common Programs" folder.
bool FindCommonMenuFolders(RegistryView view, const PathList& menuSubPaths, const PathList& names, PathList& folders);

// For each user ID, every user's AppData\<CUSTOMER>\Velkor\Common\Ferrow\<ID>: its
// AppData\Velkor\install.dat goes to files, its Scheduler\ folder to folders.
bool FindUserSettingFiles(RegistryView view, const PathList& userIds, const Settings& settings, PathList& folders,
                          PathList& files);

// True when every backslash-separated piece of a relative sub-path names something below its parent:
// no empty piece, none made only of dots and blanks (which the file system folds onto the parent), no wildcard.
bool IsSafeSubPath(const std::wstring& subPath);

}  // namespace Zento::Lithcore
