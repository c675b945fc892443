#pragma once
// The COM servers' own unregistration: regsvr32 for in-process servers, "/UNREGSERVER" for local ones.
#include <string>

#include "processes/ChildProcess.h"
#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// The regsvr32 run that unregisters an in-process server, silently: the system's own regsvr32, by full path.
ProcessStartInfo UnregisterDllStartInfo(const std::wstring& dllPath);
// The server's own "/UNREGSERVER" run, in the server's folder. `serverValue` is the registered
// command line; its program alone is run, with none of its arguments.
ProcessStartInfo UnregisterExeStartInfo(const std::wstring& serverValue);

// A local server: the child was started, ended within the limit, and did not end with -1. Servers
// answer the switch in their own ways and some end with 0 having done nothing, so the caller must
// also see the server's CLSID key gone before it counts the server as unregistered.
[[nodiscard]] bool EndedAsUnregistered(const Process& process);
// regsvr32: the child ended within the limit with 0. Its other codes (3 the DLL did not load, 4 no
// entry point, 5 the entry point failed, 1 and 2 it never got that far) leave the server registered.
[[nodiscard]] bool RegsvrEndedAsUnregistered(const Process& process);

// Both fail with CreateProcessW's error when the child could not start, with WAIT_TIMEOUT when it
// was ended at the limit, and with its exit code when it reported failure.
[[nodiscard]] StepResult UnregisterComDll(const std::wstring& path);
[[nodiscard]] StepResult UnregisterComExe(const std::wstring& serverValue);

// The server's unregistration as the removal counts it: a local server has unregistered itself only
// when its CLSID key is gone afterwards (ERROR_ALREADY_REGISTERED when it is still there), for an
// ATL server ends with its HRESULT and some end with 0 having done nothing.
[[nodiscard]] StepResult UnregisterComServer(const std::wstring& serverPath, bool isDll, const RegistryKeyAddress& clsidKey);

}  // namespace Zento::Lithcore
