#include "registry/ManagedInstallerKeys.h"

#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// Written by the 64-bit installer service: the native view only.
constexpr wchar_t kManagedRoot[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\";

}  // namespace

bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result) {
    bool found = false;
    for (const std::wstring& sid : SubkeysOf(view, kManagedRoot)) {
        const std::wstring base = kManagedRoot + sid + L"\\Installer\\" + kind + L"\\";
        found = AppendMatchingSubkeys(view, base, packed, result) || found;
    }
    return found;
}

}  // namespace Zento::Lithcore
