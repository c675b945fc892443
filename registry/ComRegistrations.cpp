#include "registry/ComRegistrations.h"

#include "platform/FileSystem.h"
#include "registry/Names.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

const std::wstring kMachineClasses = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\";
const std::wstring kWow64Node = L"Wow6432Node\\";

// The Classes key a CLSID key path lies in, with its trailing separator ("...\Classes\",
// "...\Classes\Wow6432Node\" or "...\Wow6432Node\Classes\"); empty when the path has no CLSID component.
std::wstring ClassesKeyOf(const std::wstring& clsidKeyPath) {
    size_t at = FoldedName(clsidKeyPath).rfind(L"\\CLSID\\");
    return at == std::wstring::npos ? std::wstring() : clsidKeyPath.substr(0, at + 1);
}

// ProgIDs are shared between the views: their key is in the native Classes key of the same hive.
std::wstring SharedClassesKey(std::wstring classesKey) {
    size_t at = FoldedName(classesKey).find(L"\\" + FoldedName(kWow64Node));
    if (at != std::wstring::npos) classesKey.erase(at + 1, kWow64Node.size());
    return classesKey;
}

// A name that can only be a ProgID ("Vendor.Component[.Version]"), never one of the Classes key's
// own subkeys such as CLSID or Interface.
bool IsProgIdName(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos && name.find(L'.') != std::wstring::npos;
}

// A subkey of a listed key path, whether or not that path ends with a separator.
std::wstring SubkeyPath(const std::wstring& keyPath, const std::wstring& name) {
    return keyPath.back() == L'\\' ? keyPath + name : keyPath + L'\\' + name;
}

void AppendIfExists(RegistryView view, const std::wstring& keyPath, PathList& list) {
    if (RegistryKeyExists(RegistryKeyAddress::Parse(keyPath, view))) AppendNameOnce(list, keyPath);
}

// One listing of the Interface key, then each interface's proxy.
void AppendProxiedInterfaces(RegistryView view, const std::wstring& interfaceKey, const PathList& proxyClsids,
                             PathList& found) {
    for (const std::wstring& iid : SubkeysOf(view, interfaceKey)) {
        const auto proxy = ReadStringValue(view, interfaceKey + iid + L"\\ProxyStubClsid32\\", L"");
        if (proxy && HoldsName(proxyClsids, *proxy))
            AppendNameOnce(found, interfaceKey + iid + L"\\");
    }
}

}  // namespace

ComRelatedKeys FindComRelatedKeys(RegistryView view, const PathList& clsidKeyPaths, const PathList& proxyClsids) {
    ComRelatedKeys keys;
    for (const std::wstring& clsidKey : clsidKeyPaths) {
        const std::wstring classes = ClassesKeyOf(clsidKey);
        if (classes.empty()) continue;
        for (const wchar_t* subkey : {L"ProgID", L"VersionIndependentProgID"}) {
            const auto progId = ReadStringValue(view, SubkeyPath(clsidKey, subkey), L"");
            if (progId && IsProgIdName(*progId))
                AppendIfExists(view, SharedClassesKey(classes) + *progId + L"\\", keys.progIdKeys);
        }
        // Windows versions differ in whether TypeLib is redirected; a LIBID names one library in either place.
        const auto libId = ReadStringValue(view, SubkeyPath(clsidKey, L"TypeLib"), L"");
        if (libId && IsBracedGuid(*libId)) {
            AppendIfExists(view, classes + L"TypeLib\\" + *libId + L"\\", keys.typeLibKeys);
            AppendIfExists(view, SharedClassesKey(classes) + L"TypeLib\\" + *libId + L"\\", keys.typeLibKeys);
        }
    }
    if (proxyClsids.empty()) return keys;
    AppendProxiedInterfaces(view, kMachineClasses + L"Interface\\", proxyClsids, keys.interfaceKeys);
    if (HasWow64Node(view))
        AppendProxiedInterfaces(view, kMachineClasses + kWow64Node + L"Interface\\", proxyClsids, keys.interfaceKeys);
    return keys;
}

}  // namespace Zento::Lithcore
