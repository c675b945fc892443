#pragma once
// The COM registrations that a server's own unregistration removes beside its CLSID keys.
#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

struct ComRelatedKeys {
    PathList progIdKeys;     // "<Classes>\<ProgID>\" of each ProgID and VersionIndependentProgID
    PathList typeLibKeys;    // "<Classes>\[Wow6432Node\]TypeLib\{LIBID}\" in the branch of its CLSID
    PathList interfaceKeys;  // "<Classes>\[Wow6432Node\]Interface\{IID}\" whose proxy is one of the given
};

// `clsidKeyPaths` are full CLSID key paths as the collection lists them (".\Classes\CLSID\{...}\",
// or spelt ".\Wow6432Node\Classes\CLSID\..." or ".\Classes\Wow6432Node\CLSID\..." for the 32-bit
// branch); `proxyClsids` braced CLSIDs of proxy/stub servers. Every key is opened in `view`, the
// caller's NativeView(), and only keys that exist are returned: each path once, ending with "\",
// in the order found.
ComRelatedKeys FindComRelatedKeys(RegistryView view, const PathList& clsidKeyPaths, const PathList& proxyClsids);

}  // namespace Zento::Lithcore
