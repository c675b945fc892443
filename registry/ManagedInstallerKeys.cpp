#include "registry/ManagedInstallerKeys.h"

#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// Written by the 64-bit installer service: the native view only.
constexpr wchar_t kManagedRoot[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\";

}  // namespace

PathList ManagedInstallerBases(RegistryView view) {
    PathList bases;
    for (const std::wstring& sid : SubkeysOf(view, kManagedRoot)) bases.push_back(kManagedRoot + sid + L"\\Installer\\");
    return bases;
}

bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result) {
    bool found = false;
    for (const std::wstring& base : ManagedInstallerBases(view))
        found = AppendMatchingSubkeys(view, base + kind + L"\\", packed, result) || found;
    return found;
}

}  // namespace Zento::Lithcore
