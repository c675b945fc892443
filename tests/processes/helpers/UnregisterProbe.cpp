// Test helper: an in-process server whose DllUnregisterServer leaves a marker file named by
// QUELLOR_HELPER_RECORD, so a test can see that regsvr32 really called it; with
// QUELLOR_HELPER_UNREGISTER_FAILS set it fails instead.
#include <windows.h>

#include "platform/UniqueResource.h"

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() { return S_OK; }

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    if (::GetEnvironmentVariableW(L"QUELLOR_HELPER_UNREGISTER_FAILS", nullptr, 0) != 0) return E_FAIL;
    wchar_t path[1024] = {};
    DWORD length = ::GetEnvironmentVariableW(L"QUELLOR_HELPER_RECORD", path, 1024);
    if (length == 0 || length >= 1024) return S_OK;
    Zento::Lithcore::UniqueHandle marker(
        ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return S_OK;
}
