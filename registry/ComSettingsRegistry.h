#pragma once
// Registry reads and searches over COM registrations and the product's settings keys.
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// `view` is the caller's NativeView(): the view of every opening, and whether the
// Wow6432Node candidates are searched as well.

// Below "HKEY_USERS\<hive>\Software\[Wow6432Node\]<subPath>\" of every loaded hive: the subkeys named `name`.
bool CollectUserSoftwareKeys(RegistryView view, const std::wstring& name, const std::wstring& subPath, PathList& result);

// The settings names ("{...}") of the component paths below the customer's settings key, then every
// user's settings subkeys of those names.
bool CollectUserSettingsKeys(RegistryView view, const PathList& componentPaths, const std::wstring& customer,
                             PathList& resultKeys, PathList& settingsNames);

}  // namespace Zento::Lithcore
