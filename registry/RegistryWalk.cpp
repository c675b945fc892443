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

PathList SubkeysOf(RegistryView view, const std::wstring& keyPath) {
    System::RegistryStorageEx storage(keyPath, view);
    if (!storage.IsOpen()) return {};
    return storage.EnumKeys(L"");
}

bool AppendMatchingSubkeys(RegistryView view, const std::wstring& keyPath, const std::wstring& name, PathList& result) {
    bool any = false;
    for (const std::wstring& subkey : SubkeysOf(view, keyPath)) {
        if (!NamesEqual(subkey, name)) continue;
        result.push_back(keyPath + subkey + L"\\");
        any = true;
    }
    return any;
}

PathList UserSoftwareKeyPaths(RegistryView view, const std::wstring& subPath) {
    PathList softwareKeys{L"\\Software\\"};
    if (HasWow64Node(view)) softwareKeys.push_back(L"\\Software\\Wow6432Node\\");
    PathList paths;
    for (const std::wstring& hive : SubkeysOf(view, kUsersRoot))
        for (const std::wstring& software : softwareKeys)
            paths.push_back(WithTrailingSeparator(kUsersRoot + hive + software + subPath));
    return paths;
}

}  // namespace Zento::Lithcore
