#include "registry/InstallerRegistry.h"

#include "registry/ComSettingsRegistry.h"
#include "registry/Names.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

using System::RegistryStorageEx;

const std::wstring kMachineSoftware = L"HKEY_LOCAL_MACHINE\\Software\\";
const std::wstring kWow64Node = L"Wow6432Node\\";
const std::wstring kUsersRoot = L"HKEY_USERS\\";
const std::wstring kUserDataRest = L"Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";

// Under WOW64 a base below HKEY_LOCAL_MACHINE\Software\ is searched in both registry halves.
PathList CandidateBases(bool wow64, const std::wstring& base) {
    size_t at = base.find(kMachineSoftware);
    if (!wow64 || at == std::wstring::npos) return {base};
    std::wstring rest = base.substr(at + kMachineSoftware.size());
    return {kMachineSoftware + rest, kMachineSoftware + kWow64Node + rest};
}

PathList UserDataRoots(bool wow64) {
    PathList roots{kMachineSoftware + kUserDataRest};
    if (wow64) roots.push_back(kMachineSoftware + kWow64Node + kUserDataRest);
    return roots;
}

// Calls `visit(kindPath)` with root + sid + "\" + kind + "\" for every user security identifier below each root.
template <typename Visit>
void ForEachUserDataKind(bool wow64, const std::wstring& kind, Visit visit) {
    for (const std::wstring& root : UserDataRoots(wow64))
        for (const std::wstring& sid : SubkeysOf(wow64, root)) visit(root + sid + L"\\" + kind + L"\\");
}

bool DeleteKeysBelow(const std::wstring& root, const std::vector<PathList>& keyLists, bool use64BitView,
                     PathList& deleted) {
    bool allDeleted = true;
    for (const PathList& list : keyLists) {
        for (const std::wstring& listed : list) {
            std::wstring path = listed;
            for (size_t at = path.find(root); at != std::wstring::npos; at = path.find(root, at))
                path.erase(at, root.size());
            RegistryStorageEx storage(root + path, use64BitView, true);
            if (storage.IsOpen() && storage.DeleteKey(L"", true)) {
                deleted.push_back(listed);
            } else {
                allDeleted = false;
            }
        }
    }
    return allDeleted;
}

}  // namespace

bool CollectKeyPaths(bool wow64, const std::wstring& base, const std::wstring& name, PathList& result) {
    bool any = false;
    for (const std::wstring& candidate : CandidateBases(wow64, base))
        any = AppendMatchingSubkeys(wow64, candidate, name, result) || any;
    return any;
}

bool FindKeyPath(bool wow64, const std::wstring& base, const std::wstring& name, std::wstring& result) {
    PathList found;
    if (!CollectKeyPaths(wow64, base, name, found)) return false;
    result = found.back();
    return true;
}

bool CollectUserDataKeys(bool wow64, const std::wstring& packedCode, const std::wstring& kind, PathList& result) {
    bool any = false;
    ForEachUserDataKind(wow64, kind, [&](const std::wstring& kindPath) {
        for (const std::wstring& subkey : SubkeysOf(wow64, kindPath)) {
            if (!NamesEqual(subkey, packedCode)) continue;
            result.push_back(kindPath + packedCode + L"\\");
            any = true;
        }
    });
    return any;
}

bool CollectUserDataComponentKeys(bool wow64, const PathList& packedCodes, const std::wstring& kind,
                                  PathList& result) {
    bool any = false;
    ForEachUserDataKind(wow64, kind, [&](const std::wstring& kindPath) {
        for (const std::wstring& subkey : SubkeysOf(wow64, kindPath)) {
            for (const std::wstring& code : packedCodes) {
                if (!NamesEqual(subkey, code)) continue;
                result.push_back(kindPath + subkey + L"\\");
                any = true;
            }
        }
    });
    return any;
}

bool CollectUserInstallerKeys(bool wow64, const std::wstring& packedCode, const std::wstring& kind,
                              PathList& result) {
    bool any = false;
    for (const std::wstring& kindPath : UserSoftwareKeyPaths(wow64, L"Microsoft\\Installer\\" + kind))
        any = AppendMatchingSubkeys(wow64, kindPath, packedCode, result) || any;
    return any;
}

bool CollectLocalPackages(bool wow64, const PathList& productKeyPaths, const std::wstring& subkeyName,
                          const std::wstring& valueName, PathList& result) {
    PathList propertyKeys;
    for (const std::wstring& productKey : productKeyPaths)
        AppendMatchingSubkeys(wow64, productKey, subkeyName, propertyKeys);
    return ReadStringValues(wow64, propertyKeys, valueName, result);
}

bool DeleteMachineKeys(const std::vector<PathList>& keyLists, bool use64BitView, PathList& deleted) {
    return DeleteKeysBelow(L"HKEY_LOCAL_MACHINE\\", keyLists, use64BitView, deleted);
}

bool DeleteUserKeys(const std::vector<PathList>& keyLists, bool use64BitView, PathList& deleted) {
    return DeleteKeysBelow(kUsersRoot, keyLists, use64BitView, deleted);
}

}  // namespace Zento::Lithcore
