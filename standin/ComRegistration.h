#pragma once
// Self-registration of the stand-in COM servers. Every call touches only the one CLSID key
// (and, for the proxy DLL that has one, its Interface key) named by its caller.
#include <string>

namespace Standin {

enum class ServerKind { LocalServer, InProcServer };

std::wstring ModulePath(void* module);

// HKCR\CLSID\{clsid} with the server subkey's default value = serverPath and, when appId is
// not empty, the AppID value and HKCR\AppID\{appId}.
bool RegisterClass(const std::wstring& clsid, ServerKind kind, const std::wstring& serverPath,
                   const std::wstring& appId);
// Removes HKCR\CLSID\{clsid} with its subkeys; an absent key counts as removed.
bool UnregisterClass(const std::wstring& clsid);

bool RegisterInterface(const std::wstring& iid, const std::wstring& proxyClsid);

// Exit code for /UNREGSERVER, taken from STANDIN_UNREGSERVER_EXIT_CODE (default 0).
unsigned long UnregisterExitCodeFromEnvironment();

}  // namespace Standin
