#pragma once
// Searches for the keys Windows Installer, Windows and the product itself keep for a product.
// Every search opens its keys read-only in `view` (the caller's NativeView()) and, when that view
// has a Wow6432Node sibling, also searches the Wow6432Node counterparts. Found key paths end with "\".
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// Appends base + subkey + "\" for every subkey of `base` named `name` (any ASCII letter case).
bool CollectKeyPaths(RegistryView view, const std::wstring& base, const std::wstring& name, PathList& result);
// A key path of each name, in order, over one listing of each base; empty where nothing matches.
PathList FindKeyPaths(RegistryView view, const std::wstring& base, const PathList& names);

// Installer\UserData\<sid>\<kind>\<packedCode>\ of every user security identifier.
bool CollectUserDataKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind, PathList& result);
// The same for a list of codes; a code given twice gives its path twice.
bool CollectUserDataComponentKeys(RegistryView view, const PathList& packedCodes, const std::wstring& kind,
                                  PathList& result);
// Below "HKEY_USERS\<hive>\Software\[Wow6432Node\]<subPath>\" of every loaded hive: the subkeys named `name`.
bool CollectUserSoftwareKeys(RegistryView view, const std::wstring& name, const std::wstring& subPath,
                             PathList& result);
// HKEY_USERS\<hive>\Software\[Wow6432Node\]Microsoft\Installer\<kind>\<packedCode>\ of every loaded hive.
bool CollectUserInstallerKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind,
                              PathList& result);
// Managed\<sid>\Installer\<kind>\<packed>\ of every SID; `kind` is "Products", "Features", "UpgradeCodes"
// or "Patches".
bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result);
// The string value `valueName` of each product key's `subkeyName` subkey (the cached installer packages).
bool CollectLocalPackages(RegistryView view, const PathList& productKeyPaths, const std::wstring& subkeyName,
                          const std::wstring& valueName, PathList& result);

// The settings names ("{...}") of the component paths below the customer's settings key, then every
// user's settings subkeys of those names.
bool CollectUserSettingsKeys(RegistryView view, const PathList& componentPaths, const std::wstring& customer,
                             PathList& resultKeys, PathList& settingsNames);

// What a found key holds beside the target's own value: installer keys such as UpgradeCodes\<code> and
// UserData\<sid>\Components\<code> name every product they serve by a value.
struct KeySharing {
    bool hasOwnValue = false;
    std::wstring ownValueName;  // the own value's name as the registry spells it
    PathList otherValues;       // names of every other value
    bool hasSubkeys = false;
    // The key serves something besides the target: deleting it whole would break that.
    bool Shared() const { return !otherValues.empty() || hasSubkeys; }
};

// Reads the key's value names and whether it has subkeys; `ownValue` is compared with NamesEqual.
// ERROR_SUCCESS with `sharing` filled in, or the error of the opening or of a listing that did not
// run to its end; then `sharing` is left as it was.
[[nodiscard]] LONG ReadKeySharing(RegistryView view, const std::wstring& keyPath, const std::wstring& ownValue,
                                  KeySharing& sharing);

}  // namespace Zento::Lithcore
