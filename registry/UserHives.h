#pragma once
// The users of the machine by the profile list, and the loading of the hives of those who are not
// logged on. HKEY_USERS lists only loaded hives; every other user's hive is a file of their profile.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

namespace Zento::Lithcore {

struct ProfileEntry {
    std::wstring sid;
    std::wstring folder;  // ProfileImagePath with its environment strings expanded; empty when unreadable
    DWORD state = 0;      // the State flags; 0 when there are none
};

// Windows' State flag of a profile in use as a temporary one.
inline constexpr DWORD kProfileTemporary = 0x0800;

// Every subkey of HKLM\...\ProfileList, in registry order.
std::vector<ProfileEntry> ListProfiles(RegistryView view);

// The folders the profile list names: its ProfilesDirectory, Default, Public and AllUsersProfile, and
// every profile's folder, expanded.
std::vector<std::wstring> ProfileListFolders(RegistryView view);

// Every folder that a "Shell Folders" key names, the machine's and each loaded user's (both of its
// views), and each loaded user's "User Shell Folders" expanded for that user.
std::vector<std::wstring> ShellFoldersOfEveryone(RegistryView view);

// Whether HKEY_USERS\<name> exists (the hive is loaded).
bool HiveLoaded(RegistryView view, const std::wstring& name);

// The hive files of a profile.
std::wstring UserHiveFile(const std::wstring& profileFolder);     // NTUSER.DAT
std::wstring ClassesHiveFile(const std::wstring& profileFolder);  // AppData\Local\Microsoft\Windows\UsrClass.dat

// Whether a hive file is there: Windows would create a missing one at the load.
bool HiveFileExists(const std::wstring& file);

// RegLoadKeyW / RegUnLoadKeyW below HKEY_USERS. Each enables SeBackupPrivilege and SeRestorePrivilege for
// itself only: with them enabled, opens for DELETE pass any ACL. Every handle into the hive must be closed
// before it is unloaded; Windows then writes it back to `file`.
[[nodiscard]] LONG LoadUserHive(const std::wstring& name, const std::wstring& file);
[[nodiscard]] LONG UnloadUserHive(const std::wstring& name);

// One user's shell folder: `valueName` of the "Shell Folders" key at `shellFoldersKey` (a path below
// HKEY_USERS\<sid>\), else of its sibling "User Shell Folders", expanded for that user: %USERPROFILE%,
// %APPDATA% and %LOCALAPPDATA% name the folders of their profile by the profile list, not the caller's; other
// environment strings are expanded as the system does. Absent when neither key has a string value of that name.
std::optional<std::wstring> ReadUserShellFolder(RegistryView view, const std::wstring& shellFoldersKey,
                                                const std::wstring& valueName);

}  // namespace Zento::Lithcore
