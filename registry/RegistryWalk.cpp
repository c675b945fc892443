#include "registry/RegistryWalk.h"

#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kUsersRoot = L"HKEY_USERS\\";

std::wstring WithTrailingSeparator(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    return path;
}

}  // namespace

PathList SubkeysOf(bool wow64, const std::wstring& keyPath) {
    System::RegistryStorageEx storage(keyPath, wow64, true);
    if (!storage.IsOpen()) return {};
    return storage.EnumKeys(L"");
}

bool AppendMatchingSubkeys(bool wow64, const std::wstring& keyPath, const std::wstring& name, PathList& result) {
    bool any = false;
    for (const std::wstring& subkey : SubkeysOf(wow64, keyPath)) {
        if (!NamesEqual(subkey, name)) continue;
        result.push_back(keyPath + subkey + L"\\");
        any = true;
    }
    return any;
}

PathList UserSoftwareKeyPaths(bool wow64, const std::wstring& subPath) {
    PathList views{L"\\Software\\"};
    if (wow64) views.push_back(L"\\Software\\Wow6432Node\\");
    PathList paths;
    for (const std::wstring& hive : SubkeysOf(wow64, kUsersRoot))
        for (const std::wstring& view : views) paths.push_back(WithTrailingSeparator(kUsersRoot + hive + view + subPath));
    return paths;
}

}  // namespace Zento::Lithcore
