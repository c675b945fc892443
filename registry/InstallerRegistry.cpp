#include "registry/InstallerRegistry.h"

#include "registry/Names.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

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
    bool any = false;
    for (const std::wstring& kindPath : UserDataKindKeys(view, kind))
        for (const std::wstring& subkey : SubkeysOf(view, kindPath)) {
            if (!NamesEqual(subkey, packedCode)) continue;
            result.push_back(kindPath + packedCode + L"\\");
            any = true;
        }
    return any;
}

bool CollectUserDataComponentKeys(RegistryView view, const PathList& packedCodes, const std::wstring& kind,
                                  PathList& result) {
    return AppendMatchingSubkeys(view, UserDataKindKeys(view, kind), packedCodes, result);
}

bool CollectUserInstallerKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind,
                              PathList& result) {
    const PathList kindPaths = UserSoftwareKeyPaths(view, L"Microsoft\\Installer\\" + kind);
    return AppendMatchingSubkeys(view, kindPaths, {packedCode}, result);
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
