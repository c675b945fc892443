#pragma once
// Special folders, and the product's traces in every user's shell folders
// (AppData, Desktop, Startup, Start-menu Programs) and in the all-users ones.
// Searches only look: they append to the caller's list and return true when they added something.
#include <string>

#include "registry/RegistryKeys.h"
#include "settings/Settings.h"

namespace Zento::Lithcore {

// The folder of a CSIDL, or empty when the system has none for it.
std::wstring GetSpecialFolderPath(int csidl);

// Every user's folder named by valueName in their shell folders ("AppData", "Programs", "Startup",
// "Desktop"), and the all-users one ("Common Programs", ...), as the registry names them; empty ones left out.
PathList EveryUserShellFolder(RegistryView view, const std::wstring& valueName);
PathList CommonShellFolder(RegistryView view, const std::wstring& valueName);

// Each user's AppData folder joined with subPath, when that is a folder.
bool FindUserAppDataFolders(RegistryView view, const std::wstring& subPath, PathList& folders);

// Whose shell folders a search looks in: every user's own, or the all-users ones (valueName with "Common ").
enum class ShellScope { EveryUser, AllUsers };

// Each shell folder of the scope named by valueName ("Startup" or "Desktop"), backslash, name, ".lnk", when it
// exists; in the all-users folder each path once.
bool FindShortcuts(RegistryView view, ShellScope scope, const std::wstring& valueName, const PathList& names,
                   PathList& shortcuts);

// Each Programs folder of the scope joined with a menu sub-path, when that folder holds one of the shortcuts;
// each once.
bool FindMenuFolders(RegistryView view, ShellScope scope, const PathList& menuSubPaths, const PathList& names,
                     PathList& folders);

// For each user ID, every user's AppData\<CUSTOMER>\Velkor\Common\Ferrow\<ID>: its
// AppData\Velkor\install.dat goes to files, its Scheduler\ folder to folders.
bool FindUserSettingFiles(RegistryView view, const PathList& userIds, const Settings& settings, PathList& folders,
                          PathList& files);

// True when every backslash-separated piece of a relative sub-path names something below its parent:
// no empty piece, none made only of dots and blanks (which the file system folds onto the parent), no wildcard.
bool IsSafeSubPath(const std::wstring& subPath);

}  // namespace Zento::Lithcore
