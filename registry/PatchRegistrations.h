#pragma once
// The patches Windows Installer has applied to a product, and the keys it keeps for each.
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

struct ProductPatch {
    std::wstring packedCode;   // the patch code as the installer packs it
    PathList otherProducts;    // packed codes of the other products it is registered for
    PathList ownKeys;          // the patch's own keys: Classes\Installer\Patches\<patch>\ and
                               // UserData\<sid>\Patches\<patch>\ (machine), Installer\Patches\<patch>\ (users,
                               // and Managed\<sid>\Installer\Patches\<patch>\ for managed installs)
    PathList localPackages;    // the cached .msp each UserData\<sid>\Patches\<patch>\ names
};

// The patches of `packedProduct`: the subkeys of every UserData\<sid>\Products\<product>\Patches\, the
// values of Classes\Installer\Products\<product>\Patches\, of each user's
// Software\Microsoft\Installer\Products\<product>\Patches\ and of each managed install's
// Managed\<sid>\Installer\Products\<product>\Patches\ (each patch there is a value named by its
// packed code, beside the "Patches" list). For each, the products other than the target that name it
// in the same places, and its own keys as they exist. Both views where the view has a Wow6432Node.
std::vector<ProductPatch> FindProductPatches(RegistryView view, const std::wstring& packedProduct);

}  // namespace Zento::Lithcore
