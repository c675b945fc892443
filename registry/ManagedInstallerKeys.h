#pragma once
// The installer's registrations of per-user-managed installs: machine keys, one set per user SID below
// HKLM\...\Installer\Managed\<sid>\Installer\, which exist whether or not that user is logged on.
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// "Managed\<sid>\Installer\<kind>\" of every SID, in registry order.
PathList ManagedInstallerKindKeys(RegistryView view, const std::wstring& kind);

// Below "Managed\<sid>\Installer\<kind>\" of every SID: the subkeys named `packed`, in registry order.
// `kind` is "Products", "Features", "UpgradeCodes" or "Patches".
bool CollectManagedInstallerKeys(RegistryView view, const std::wstring& packed, const std::wstring& kind,
                                 PathList& result);

}  // namespace Zento::Lithcore
