#include "standin/ComRegistration.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "platform/UniqueResource.h"

namespace Standin {

using Zento::Lithcore::UniqueRegKey;

namespace {

bool SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool SetDefault(const std::wstring& subKey, const std::wstring& value) { return SetString(subKey, L"", value); }

std::wstring ReadDefault(const std::wstring& subKey) {
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return L"";
    return text;
}

bool DeleteTree(const std::wstring& subKey) {
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, subKey.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// A name read from the registry deletes only a key directly below HKCR or TypeLib.
bool DeleteNamed(const std::wstring& parent, const std::wstring& name) {
    if (name.empty() || name.find(L'\\') != std::wstring::npos) return true;
    return DeleteTree(parent + name);
}

bool RegisterProgIds(const ClassRegistration& r) {
    const std::wstring independent = r.vendor + L"." + r.name;
    const std::wstring versioned = independent + L".1";
    const std::wstring classKey = L"CLSID\\" + r.clsid;
    return SetDefault(classKey + L"\\ProgID", versioned) &&
           SetDefault(classKey + L"\\VersionIndependentProgID", independent) && SetDefault(versioned, r.name) &&
           SetDefault(versioned + L"\\CLSID", r.clsid) && SetDefault(independent, r.name) &&
           SetDefault(independent + L"\\CLSID", r.clsid) && SetDefault(independent + L"\\CurVer", versioned);
}

bool RegisterTypeLib(const ClassRegistration& r) {
    const std::wstring version = L"TypeLib\\" + r.typeLib + L"\\1.0";
    return SetDefault(L"CLSID\\" + r.clsid + L"\\TypeLib", r.typeLib) &&
           SetDefault(version, r.name + L" 1.0 Type Library") && SetDefault(version + L"\\0\\win32", r.typeLibPath);
}

}  // namespace

std::wstring ModulePath(void* module) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(static_cast<HMODULE>(module), path, MAX_PATH);
    return path;
}

bool RegisterClass(const ClassRegistration& r) {
    const std::wstring classKey = L"CLSID\\" + r.clsid;
    const std::wstring serverKey =
        classKey + (r.kind == ServerKind::LocalServer ? L"\\LocalServer32" : L"\\InProcServer32");
    bool ok = SetDefault(classKey, r.name) && SetDefault(serverKey, r.server);
    if (r.kind == ServerKind::InProcServer) ok = ok && SetString(serverKey, L"ThreadingModel", L"Both");
    if (!r.appId.empty()) ok = ok && SetString(classKey, L"AppID", r.appId) && SetDefault(L"AppID\\" + r.appId, r.name);
    if (!r.vendor.empty()) ok = ok && RegisterProgIds(r);
    if (!r.typeLib.empty()) ok = ok && RegisterTypeLib(r);
    return ok;
}

bool UnregisterClass(const std::wstring& clsid) {
    const std::wstring classKey = L"CLSID\\" + clsid;
    const bool named = DeleteNamed(L"", ReadDefault(classKey + L"\\ProgID")) &
                       DeleteNamed(L"", ReadDefault(classKey + L"\\VersionIndependentProgID")) &
                       DeleteNamed(L"TypeLib\\", ReadDefault(classKey + L"\\TypeLib"));
    return DeleteTree(classKey) && named;
}

bool RegisterInterfaces(const std::vector<InterfaceRegistration>& interfaces) {
    for (const InterfaceRegistration& i : interfaces) {
        const std::wstring key = L"Interface\\" + i.iid;
        if (!SetDefault(key, i.name) || !SetDefault(key + L"\\ProxyStubClsid32", i.proxyClsid)) return false;
    }
    return true;
}

bool UnregisterInterfaces(const std::vector<InterfaceRegistration>& interfaces) {
    bool ok = true;
    for (const InterfaceRegistration& i : interfaces) ok = DeleteTree(L"Interface\\" + i.iid) && ok;
    return ok;
}

std::wstring WithUpperCaseFileName(const std::wstring& path) {
    std::wstring result = path;
    const size_t slash = result.find_last_of(L'\\');
    for (size_t i = slash == std::wstring::npos ? 0 : slash + 1; i < result.size(); ++i)
        result[i] = static_cast<wchar_t>(std::towupper(result[i]));
    return result;
}

unsigned long UnregisterExitCodeFromEnvironment() {
    wchar_t text[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"STANDIN_UNREGSERVER_EXIT_CODE", text, 32);
    if (length == 0 || length >= 32) return 0;
    return std::wcstoul(text, nullptr, 0);
}

}  // namespace Standin
