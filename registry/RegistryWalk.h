#pragma once
// Key walks shared by the installer, COM and settings searches. Every opening is read-only.
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// Subkey names of the key, in registry order; empty when it does not open.
PathList SubkeysOf(RegistryView view, const std::wstring& keyPath);

// Appends keyPath + subkey + "\" for every subkey of each key whose name is NamesEqual to one of `names`,
// once for each name it equals.
bool AppendMatchingSubkeys(RegistryView view, const PathList& keyPaths, const PathList& names, PathList& result);

// "HKEY_USERS\<hive>\Software\<subPath>\" for every loaded user hive, each followed under WOW64
// by the same path below "Software\Wow6432Node\".
PathList UserSoftwareKeyPaths(RegistryView view, const std::wstring& subPath);

// `base` and, when it lies below HKEY_LOCAL_MACHINE\Software\ and the view has a Wow6432Node, its twin
// below HKEY_LOCAL_MACHINE\Software\Wow6432Node\.
PathList MachineSoftwareBases(RegistryView view, const std::wstring& base);

// "Installer\UserData\<sid>\<kind>\" of every user security identifier in registry order, the native
// user data first and, where the view has one, the Wow6432Node one after it.
PathList UserDataKindKeys(RegistryView view, const std::wstring& kind);

// "Managed\<sid>\Installer\<kind>\" of every SID, in registry order: the installer's registrations of
// per-user-managed installs, machine keys that exist whether or not that user is logged on.
PathList ManagedInstallerKindKeys(RegistryView view, const std::wstring& kind);

}  // namespace Zento::Lithcore
