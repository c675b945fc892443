#include "registry/PatchRegistrations.h"

#include <map>
#include <set>

#include "platform/FileSystem.h"
#include "registry/InstallerRegistry.h"
#include "registry/Names.h"
#include "registry/RegistryApi.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kClassesInstaller = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\";
const std::wstring kListValue = L"Patches";

PathList PatchValueNames(RegistryView view, const std::wstring& patchesKey) {
    UniqueRegKey key;
    if (OpenExistingKey(patchesKey, view, KEY_READ, key) != ERROR_SUCCESS) return {};
    LONG result = ERROR_SUCCESS;
    PathList names;
    for (const std::wstring& name : System::ListValueNames(key.Get(), result))
        if (name.size() == 32 && !NamesEqual(name, kListValue)) names.push_back(name);
    return names;
}

// Packed patch code (upper case) -> the products (packed) that name it, over every "...\Products\" key
// whose product subkeys may carry a Patches key or values: the machine's Classes\Installer, each user's
// Software\Microsoft\Installer and Managed\<sid>\Installer, and each UserData\<sid>.
std::map<std::wstring, std::set<std::wstring>> ProductsOfEveryPatch(RegistryView view) {
    std::map<std::wstring, std::set<std::wstring>> products;
    auto add = [&](const std::wstring& patch, const std::wstring& product) {
        products[FoldedName(patch)].insert(FoldedName(product));
    };
    // <root><product>\Patches\ holds one value per patch.
    PathList withPatchValues = ManagedInstallerKindKeys(view, L"Products");
    for (const PathList& more : {MachineSoftwareBases(view, kClassesInstaller + L"Products\\"),
                                 UserSoftwareKeyPaths(view, L"Microsoft\\Installer\\Products")})
        withPatchValues.insert(withPatchValues.end(), more.begin(), more.end());
    for (const std::wstring& root : withPatchValues)
        for (const std::wstring& product : SubkeysOf(view, root))
            for (const std::wstring& patch : PatchValueNames(view, root + product + L"\\Patches\\")) add(patch, product);
    // <root><product>\Patches\ holds one key per patch.
    for (const std::wstring& root : UserDataKindKeys(view, L"Products"))
        for (const std::wstring& product : SubkeysOf(view, root))
            for (const std::wstring& patch : SubkeysOf(view, root + product + L"\\Patches\\"))
                if (patch.size() == 32) add(patch, product);
    return products;
}

// The patch's own keys that exist, and the packages its UserData keys name.
void ReadOwnKeys(RegistryView view, ProductPatch& patch) {
    CollectKeyPaths(view, kClassesInstaller + L"Patches\\", patch.packedCode, patch.ownKeys);
    PathList userData;
    CollectUserDataKeys(view, patch.packedCode, L"Patches", userData);
    patch.ownKeys.insert(patch.ownKeys.end(), userData.begin(), userData.end());
    ReadStringValues(view, userData, L"LocalPackage", patch.localPackages);
    CollectUserInstallerKeys(view, patch.packedCode, L"Patches", patch.ownKeys);
    CollectManagedInstallerKeys(view, patch.packedCode, L"Patches", patch.ownKeys);
}

}  // namespace

std::vector<ProductPatch> FindProductPatches(RegistryView view, const std::wstring& packedProduct) {
    std::vector<ProductPatch> patches;
    for (const auto& [patch, products] : ProductsOfEveryPatch(view)) {
        if (products.count(FoldedName(packedProduct)) == 0) continue;
        ProductPatch found;
        found.packedCode = patch;
        for (const std::wstring& product : products)
            if (!NamesEqual(product, packedProduct)) found.otherProducts.push_back(product);
        ReadOwnKeys(view, found);
        patches.push_back(std::move(found));
    }
    return patches;
}

}  // namespace Zento::Lithcore
