#include "standin/ComRegistration.h"

#include <windows.h>

#include <cwchar>

#include "platform/UniqueResource.h"

namespace Standin {

using Zento::Lithcore::UniqueRegKey;

namespace {

bool SetDefaultString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

}  // namespace

std::wstring ModulePath(void* module) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(static_cast<HMODULE>(module), path, MAX_PATH);
    return path;
}

bool RegisterClass(const std::wstring& clsid, ServerKind kind, const std::wstring& serverPath,
                   const std::wstring& appId) {
    const std::wstring classKey = L"CLSID\\" + clsid;
    const wchar_t* serverKey = kind == ServerKind::LocalServer ? L"\\LocalServer32" : L"\\InProcServer32";
    bool ok = SetDefaultString(classKey, L"", L"Velkor component") &&
              SetDefaultString(classKey + serverKey, L"", serverPath);
    if (kind == ServerKind::InProcServer) ok = ok && SetDefaultString(classKey + serverKey, L"ThreadingModel", L"Both");
    if (!appId.empty())
        ok = ok && SetDefaultString(classKey, L"AppID", appId) &&
             SetDefaultString(L"AppID\\" + appId, L"", L"Velkor component");
    return ok;
}

bool UnregisterClass(const std::wstring& clsid) {
    const std::wstring classKey = L"CLSID\\" + clsid;
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RegisterInterface(const std::wstring& iid, const std::wstring& proxyClsid) {
    const std::wstring interfaceKey = L"Interface\\" + iid;
    return SetDefaultString(interfaceKey, L"", L"INovex") &&
           SetDefaultString(interfaceKey + L"\\ProxyStubClsid32", L"", proxyClsid);
}

unsigned long UnregisterExitCodeFromEnvironment() {
    wchar_t text[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"STANDIN_UNREGSERVER_EXIT_CODE", text, 32);
    if (length == 0 || length >= 32) return 0;
    return std::wcstoul(text, nullptr, 0);
}

}  // namespace Standin
