#include "registry/ComponentRegistrations.h"

#include "registry/Names.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kUserDataNative =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
const std::wstring kUserDataWow64 =
    L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";

bool HasValue(RegistryView view, const std::wstring& keyPath, const std::wstring& valueName) {
    System::RegistryStorageEx key(keyPath, view);
    return key.IsOpen() && key.ValueExists(valueName);
}

}  // namespace

PathList ComponentsRegisteredFor(RegistryView view, const std::wstring& packedProduct) {
    PathList codes;
    if (packedProduct.empty()) return codes;
    PathList roots{kUserDataNative};
    if (HasWow64Node(view)) roots.push_back(kUserDataWow64);
    for (const std::wstring& root : roots) {
        for (const std::wstring& sid : SubkeysOf(view, root)) {
            const std::wstring components = root + sid + L"\\Components\\";
            for (const std::wstring& packed : SubkeysOf(view, components)) {
                std::wstring code;
                if (UnpackGuid(packed, code) && HasValue(view, components + packed, packedProduct))
                    codes.push_back(code);
            }
        }
    }
    return codes;
}

}  // namespace Zento::Lithcore
