#include "registry/RegistryWalk.h"

#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kUsersRoot = L"HKEY_USERS\\";
const std::wstring kMachineSoftware = L"HKEY_LOCAL_MACHINE\\Software\\";

std::wstring WithTrailingSeparator(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    return path;
}

}  // namespace

PathList SubkeysOf(RegistryView view, const std::wstring& keyPath) {
    UniqueRegKey key;
    if (OpenExistingKey(keyPath, view, KEY_READ, key) != ERROR_SUCCESS) return {};
    LONG listed = ERROR_SUCCESS;
    return System::ListSubkeyNames(key.Get(), listed);
}

bool AppendMatchingSubkeys(RegistryView view, const PathList& keyPaths, const PathList& names, PathList& result) {
    const size_t before = result.size();
    for (const std::wstring& keyPath : keyPaths)
        for (const std::wstring& subkey : SubkeysOf(view, keyPath))
            for (const std::wstring& name : names)
                if (NamesEqual(subkey, name)) result.push_back(keyPath + subkey + L"\\");
    return result.size() > before;
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

PathList MachineSoftwareBases(RegistryView view, const std::wstring& base) {
    if (!HasWow64Node(view) || base.compare(0, kMachineSoftware.size(), kMachineSoftware) != 0) return {base};
    return {base, kMachineSoftware + L"Wow6432Node\\" + base.substr(kMachineSoftware.size())};
}

PathList UserDataKindKeys(RegistryView view, const std::wstring& kind) {
    PathList kindKeys;
    const std::wstring userData = kMachineSoftware + L"Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
    for (const std::wstring& root : MachineSoftwareBases(view, userData))
        for (const std::wstring& sid : SubkeysOf(view, root)) kindKeys.push_back(root + sid + L"\\" + kind + L"\\");
    return kindKeys;
}

PathList ManagedInstallerKindKeys(RegistryView view, const std::wstring& kind) {
    // Written by the 64-bit installer service: the native view only.
    const std::wstring managed = kMachineSoftware + L"Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\";
    PathList kindKeys;
    for (const std::wstring& sid : SubkeysOf(view, managed))
        kindKeys.push_back(managed + sid + L"\\Installer\\" + kind + L"\\");
    return kindKeys;
}

}  // namespace Zento::Lithcore
