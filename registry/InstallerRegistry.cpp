#include "registry/InstallerRegistry.h"

#include "registry/ComSettingsRegistry.h"
#include "registry/Names.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kMachineSoftware = L"HKEY_LOCAL_MACHINE\\Software\\";
const std::wstring kWow64Node = L"Wow6432Node\\";
const std::wstring kUserDataRest = L"Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";

// Under WOW64 a base below HKEY_LOCAL_MACHINE\Software\ is searched in both registry halves.
PathList CandidateBases(RegistryView view, const std::wstring& base) {
    size_t at = base.find(kMachineSoftware);
    if (!HasWow64Node(view) || at == std::wstring::npos) return {base};
    std::wstring rest = base.substr(at + kMachineSoftware.size());
    return {kMachineSoftware + rest, kMachineSoftware + kWow64Node + rest};
}

PathList UserDataRoots(RegistryView view) {
    PathList roots{kMachineSoftware + kUserDataRest};
    if (HasWow64Node(view)) roots.push_back(kMachineSoftware + kWow64Node + kUserDataRest);
    return roots;
}

// Calls `visit(kindPath)` with root + sid + "\" + kind + "\" for every user security identifier below each root.
template <typename Visit>
void ForEachUserDataKind(RegistryView view, const std::wstring& kind, Visit visit) {
    for (const std::wstring& root : UserDataRoots(view))
        for (const std::wstring& sid : SubkeysOf(view, root)) visit(root + sid + L"\\" + kind + L"\\");
}

}  // namespace

bool CollectKeyPaths(RegistryView view, const std::wstring& base, const std::wstring& name, PathList& result) {
    bool any = false;
    for (const std::wstring& candidate : CandidateBases(view, base))
        any = AppendMatchingSubkeys(view, candidate, name, result) || any;
    return any;
}

bool FindKeyPath(RegistryView view, const std::wstring& base, const std::wstring& name, std::wstring& result) {
    PathList found;
    if (!CollectKeyPaths(view, base, name, found)) return false;
    result = found.back();
    return true;
}

PathList FindKeyPaths(RegistryView view, const std::wstring& base, const PathList& names) {
    PathList found(names.size());
    for (const std::wstring& candidate : CandidateBases(view, base))
        for (const std::wstring& subkey : SubkeysOf(view, candidate))
            for (size_t i = 0; i < names.size(); ++i)
                if (NamesEqual(subkey, names[i])) found[i] = candidate + subkey + L"\\";
    return found;
}

bool CollectUserDataKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind, PathList& result) {
    bool any = false;
    ForEachUserDataKind(view, kind, [&](const std::wstring& kindPath) {
        for (const std::wstring& subkey : SubkeysOf(view, kindPath)) {
            if (!NamesEqual(subkey, packedCode)) continue;
            result.push_back(kindPath + packedCode + L"\\");
            any = true;
        }
    });
    return any;
}

bool CollectUserDataComponentKeys(RegistryView view, const PathList& packedCodes, const std::wstring& kind,
                                  PathList& result) {
    bool any = false;
    ForEachUserDataKind(view, kind, [&](const std::wstring& kindPath) {
        for (const std::wstring& subkey : SubkeysOf(view, kindPath)) {
            for (const std::wstring& code : packedCodes) {
                if (!NamesEqual(subkey, code)) continue;
                result.push_back(kindPath + subkey + L"\\");
                any = true;
            }
        }
    });
    return any;
}

bool CollectUserInstallerKeys(RegistryView view, const std::wstring& packedCode, const std::wstring& kind,
                              PathList& result) {
    bool any = false;
    for (const std::wstring& kindPath : UserSoftwareKeyPaths(view, L"Microsoft\\Installer\\" + kind))
        any = AppendMatchingSubkeys(view, kindPath, packedCode, result) || any;
    return any;
}

bool CollectLocalPackages(RegistryView view, const PathList& productKeyPaths, const std::wstring& subkeyName,
                          const std::wstring& valueName, PathList& result) {
    PathList propertyKeys;
    for (const std::wstring& productKey : productKeyPaths)
        AppendMatchingSubkeys(view, productKey, subkeyName, propertyKeys);
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
