#include "registry/InstallerRegistry.h"

#include <algorithm>

#include "registry/Names.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// The text from the first "{" through the next "}" of each path that holds `pattern`, each text once.
void AddSettingsNames(const PathList& componentPaths, const std::wstring& pattern, PathList& settingsNames) {
    for (const std::wstring& path : componentPaths) {
        const size_t open = path.find(L'{');
        const size_t close = open == std::wstring::npos ? open : path.find(L'}', open);
        if (close == std::wstring::npos || path.find(pattern) == std::wstring::npos) continue;
        const std::wstring name = path.substr(open, close - open + 1);
        if (std::find(settingsNames.begin(), settingsNames.end(), name) == settingsNames.end())
            settingsNames.push_back(name);
    }
}

}  // namespace

bool CollectKeyPaths(RegistryView view, const std::wstring& base, const std::wstring& name, PathList& result) {
    return AppendMatchingSubkeys(view, MachineSoftwareBases(view, base), {name}, result);
}

PathList FindKeyPaths(RegistryView view, const std::wstring& base, const PathList& names) {
    PathList found(names.size());
    for (const std::wstring& candidate : MachineSoftwareBases(view, base))
        for (const std::wstring& subkey : SubkeysOf(view, candidate))
            for (size_t i = 0; i < names.size(); ++i)
                if (NamesEqual(subkey, names[i])) found[i] = candidate + subkey + L"\\";
    return found;
}

bool CollectUserDataKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind, PathList& result) {
    const size_t before = result.size();
    for (const std::wstring& kindPath : UserDataKindKeys(view, kind))
        for (const std::wstring& subkey : SubkeysOf(view, kindPath))
            if (NamesEqual(subkey, packedCode)) result.push_back(kindPath + packedCode + L"\\");
    return result.size() > before;
}

bool CollectUserDataComponentKeys(RegistryView view, const PathList& packedCodes, const std::wstring& kind,
                                  PathList& result) {
    return AppendMatchingSubkeys(view, UserDataKindKeys(view, kind), packedCodes, result);
}

bool CollectUserSoftwareKeys(RegistryView view, const std::wstring& name, const std::wstring& subPath,
                             PathList& result) {
    return AppendMatchingSubkeys(view, UserSoftwareKeyPaths(view, subPath), {name}, result);
}

bool CollectUserInstallerKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind,
                              PathList& result) {
    return CollectUserSoftwareKeys(view, packedCode, L"Microsoft\\Installer\\" + kind, result);
}

bool CollectUserSettingsKeys(RegistryView view, const PathList& componentPaths, const std::wstring& customer,
                             PathList& resultKeys, PathList& settingsNames) {
    const std::wstring settingsKey = customer + L"\\Velkor\\Common\\Ferrow";
    AddSettingsNames(componentPaths, L":\\Software\\" + settingsKey, settingsNames);
    if (settingsNames.empty()) return false;
    return AppendMatchingSubkeys(view, UserSoftwareKeyPaths(view, settingsKey), settingsNames, resultKeys);
}

bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result) {
    return AppendMatchingSubkeys(view, ManagedInstallerKindKeys(view, kind), {packed}, result);
}

bool CollectLocalPackages(RegistryView view, const PathList& productKeyPaths, const std::wstring& subkeyName,
                          const std::wstring& valueName, PathList& result) {
    PathList propertyKeys;
    AppendMatchingSubkeys(view, productKeyPaths, {subkeyName}, propertyKeys);
    return ReadStringValues(view, propertyKeys, valueName, result);
}

LONG ReadKeySharing(RegistryView view, const std::wstring& keyPath, const std::wstring& ownValue, KeySharing& sharing) {
    UniqueRegKey key;
    LONG result = OpenExistingKey(keyPath, view, KEY_READ, key);
    if (result != ERROR_SUCCESS) return result;
    KeySharing read;
    for (const std::wstring& name : System::ListValueNames(key.Get(), result)) {
        if (NamesEqual(name, ownValue) && !read.hasOwnValue) {
            read.hasOwnValue = true;
            read.ownValueName = name;
        } else {
            read.otherValues.push_back(name);
        }
    }
    if (result != ERROR_SUCCESS) return result;
    read.hasSubkeys = !System::ListSubkeyNames(key.Get(), result).empty();
    if (result != ERROR_SUCCESS) return result;
    sharing = read;
    return ERROR_SUCCESS;
}

}  // namespace Zento::Lithcore
