#pragma once
// Key walks shared by the installer, COM and settings searches. Every opening is read-only.
#include <string>

#include "registry/RegistryStorage.h"

namespace Zento::Lithcore {

// Subkey names of the key, in registry order; empty when it does not open.
PathList SubkeysOf(RegistryView view, const std::wstring& keyPath);

// Appends keyPath + subkey + "\" for every subkey whose name is NamesEqual to `name`.
bool AppendMatchingSubkeys(RegistryView view, const std::wstring& keyPath, const std::wstring& name, PathList& result);

// "HKEY_USERS\<hive>\Software\<subPath>\" for every loaded user hive, each followed under WOW64
// by the same path below "Software\Wow6432Node\".
PathList UserSoftwareKeyPaths(RegistryView view, const std::wstring& subPath);

}  // namespace Zento::Lithcore
