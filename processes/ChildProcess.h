#pragma once
// Child processes started and waited for to their end, and the COM servers' self-unregistration
// (regsvr32 for in-process servers, "/UNREGSERVER" for local servers).
#include <string>

#include "processes/Processes.h"

namespace Zento::Lithcore {

// How long a child process is awaited: two minutes, far beyond any unregistration or service stop
// seen. A child still running then is ended, and its step has failed.
inline constexpr DWORD DefaultChildWaitLimitMs = 120000;
DWORD ChildWaitLimitMs();
// Only the tests' build of the program shortens the limit.
void SetChildWaitLimitMs(DWORD limitMs);

// Starts the process, waits for it to end within ChildWaitLimitMs(), and returns the record with the outcome.
Process RunProcess(const ProcessStartInfo& info);

// The quoted program, one blank, the arguments (the arguments alone for an empty program), trimmed.
std::wstring BuildCommandLine(const ProcessStartInfo& info);

// Removes blanks (space, ideographic space, CR, LF, tab) from both ends in place; returns a copy.
std::wstring TrimBlanks(std::wstring& text);

// The program of a COM server's registered command line, as CreateProcessW reads it: the quoted text
// when the value starts with a quote (blanks aside); else the text up to and including the first
// ".exe" (any letter case) that a blank or the end follows; else the whole value, trimmed.
std::wstring ServerPathOfCommandLine(const std::wstring& value);

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

}  // namespace Zento::Lithcore
