#pragma once
// Self-registration of the stand-in COM servers, as real servers write it: the CLSID key with its
// server, AppID, ProgID, VersionIndependentProgID and TypeLib, the keys those name, and the
// Interface keys a proxy DLL marshals. Each unregistration removes what its registration wrote.
#include <string>
#include <vector>

namespace Standin {

enum class ServerKind { LocalServer, InProcServer };

std::wstring ModulePath(void* module);

struct ClassRegistration {
    std::wstring clsid;
    std::wstring name;        // the class's display name and the <name> of its ProgIDs
    ServerKind kind = ServerKind::LocalServer;
    std::wstring server;      // the server key's default value: a path or a whole command line
    std::wstring appId;       // empty: no AppID
    std::wstring vendor;      // empty: no ProgIDs; else "<vendor>.<name>.1" and "<vendor>.<name>"
    std::wstring typeLib;     // empty: no type library; else its LIBID, version 1.0
    std::wstring typeLibPath;
};

struct InterfaceRegistration {
    std::wstring iid;
    std::wstring name;
    std::wstring proxyClsid;
};

bool RegisterClass(const ClassRegistration& registration);
// Removes the ProgID, VersionIndependentProgID and TypeLib keys that HKCR\CLSID\{clsid} names,
// then that key with its subkeys. The AppID key stays (the removal tool deletes it). An absent key
// counts as removed.
bool UnregisterClass(const std::wstring& clsid);

bool RegisterInterfaces(const std::vector<InterfaceRegistration>& interfaces);
bool UnregisterInterfaces(const std::vector<InterfaceRegistration>& interfaces);

// "C:\dir\x.exe" -> "C:\dir\X.EXE": the same file named in another letter case.
std::wstring WithUpperCaseFileName(const std::wstring& path);

// Exit code for /UNREGSERVER, taken from STANDIN_UNREGSERVER_EXIT_CODE (default 0).
unsigned long UnregisterExitCodeFromEnvironment();

}  // namespace Standin
