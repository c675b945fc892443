#include "registry/KeyPathLookup.h"

#include "registry/Names.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kMachineSoftware = L"HKEY_LOCAL_MACHINE\\Software\\";

// The bases the key search visits, in its order.
PathList SearchedBases(bool wow64, const std::wstring& base) {
    size_t at = base.find(kMachineSoftware);
    if (!wow64 || at == std::wstring::npos) return {base};
    std::wstring rest = base.substr(at + kMachineSoftware.size());
    return {kMachineSoftware + rest, kMachineSoftware + L"Wow6432Node\\" + rest};
}

}  // namespace

PathList FindKeyPaths(bool wow64, const std::wstring& base, const PathList& names) {
    PathList found(names.size());
    for (const std::wstring& searched : SearchedBases(wow64, base))
        for (const std::wstring& subkey : SubkeysOf(wow64, searched))
            for (size_t i = 0; i < names.size(); ++i)
                if (NamesEqual(subkey, names[i])) found[i] = searched + subkey + L"\\";
    return found;
}

}  // namespace Zento::Lithcore
