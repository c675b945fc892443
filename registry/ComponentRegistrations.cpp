#include "registry/ComponentRegistrations.h"

#include "registry/Names.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kUserDataNative =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
const std::wstring kUserDataWow64 =
    L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";

bool HasValue(bool wow64, const std::wstring& keyPath, const std::wstring& valueName) {
    System::RegistryStorageEx key(keyPath, wow64, true);
    return key.IsOpen() && key.ValueExists(valueName);
}

}  // namespace

PathList ComponentsRegisteredFor(bool wow64, const std::wstring& packedProduct) {
    PathList codes;
    if (packedProduct.empty()) return codes;
    PathList roots{kUserDataNative};
    if (wow64) roots.push_back(kUserDataWow64);
    for (const std::wstring& root : roots) {
        for (const std::wstring& sid : SubkeysOf(wow64, root)) {
            const std::wstring components = root + sid + L"\\Components\\";
            for (const std::wstring& packed : SubkeysOf(wow64, components)) {
                std::wstring code = UnpackGuid(packed);
                if (!code.empty() && HasValue(wow64, components + packed, packedProduct)) codes.push_back(code);
            }
        }
    }
    return codes;
}

}  // namespace Zento::Lithcore
