#include "registry/ManagedInstallerKeys.h"

#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// Written by the 64-bit installer service: the native view only.
constexpr wchar_t kManagedRoot[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\";

}  // namespace

PathList ManagedInstallerKindKeys(RegistryView view, const std::wstring& kind) {
    PathList kindKeys;
    for (const std::wstring& sid : SubkeysOf(view, kManagedRoot))
        kindKeys.push_back(kManagedRoot + sid + L"\\Installer\\" + kind + L"\\");
    return kindKeys;
}

bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result) {
    return AppendMatchingSubkeys(view, ManagedInstallerKindKeys(view, kind), packed, result);
}

}  // namespace Zento::Lithcore
