#pragma once
// The installer's component registrations, read in one pass over its user data.
#include <string>

#include "registry/RegistryStorage.h"

namespace Zento::Lithcore {

// Braced codes of the components whose registration (Installer\UserData\<sid>\Components\<packed code>\)
// holds a value named by `packedProduct`, that is the components that list the product as a client.
// In the order of the walk: every user security identifier in registry order, the native user data
// first and, when the view has one (64-bit Windows), the Wow6432Node one after it.
PathList ComponentsRegisteredFor(RegistryView view, const std::wstring& packedProduct);

}  // namespace Zento::Lithcore
