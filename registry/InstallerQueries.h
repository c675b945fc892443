#pragma once
// Questions put to Windows Installer itself (msi.dll, imported by ordinal only).
// Every function answers through its bool and out-parameters and never throws: a failed call ends its
// enumeration or yields false.
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// The products related to `upgradeCode`; `productFound` tells whether `productCode` is among them (any letter
// case), every other related code is appended to `otherProducts`. True when at least one related product exists.
bool FindRelatedProducts(const std::wstring& upgradeCode, const std::wstring& productCode, PathList& otherProducts,
                         bool& productFound);

// The product's "ProductName" property.
bool GetProductName(const std::wstring& productCode, std::wstring& name);

// Appends every candidate component (the components whose installer registration names the product, as
// ReadComponentRegistrations reads them) that the installer's own client list confirms the product to be a
// client of (exact code comparison). True when at least one was found.
bool ListProductComponentsAmong(const std::wstring& productCode, const PathList& candidates, PathList& componentCodes);

// The component's key file or installer registry path for the product, however long; false when the
// component is absent or unknown to the product, or its path cannot be read whole.
bool GetComponentPath(const std::wstring& productCode, const std::wstring& componentCode, std::wstring& path);

// Appends the client products of the component; true when at least one was enumerated.
bool ListComponentClients(const std::wstring& componentCode, PathList& clients);

// `shared`: the component has a client other than `productCode`. False when the component has no client.
bool IsComponentShared(const std::wstring& componentCode, const std::wstring& productCode, bool& shared);

// The ProductCode property of an installer package, read from the package itself (opened read-only).
// False when it is no package or has no such property.
bool GetPackageProductCode(const std::wstring& packagePath, std::wstring& productCode);

}  // namespace Zento::Lithcore
