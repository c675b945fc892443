#pragma once
// Child processes started and waited for to their end, and the COM servers' self-unregistration
// (regsvr32 for in-process servers, "/UNREGSERVER" for local servers).
#include <string>

#include "processes/Processes.h"

namespace Zento::Lithcore {

// Starts the process, waits for it to end without a time limit, and returns the record with the outcome.
Process RunProcess(const ProcessStartInfo& info);

// The quoted program, one blank, the arguments (the arguments alone for an empty program), trimmed.
std::wstring BuildCommandLine(const ProcessStartInfo& info);

// Removes blanks (space, ideographic space, CR, LF, tab) from both ends in place; returns a copy.
std::wstring TrimBlanks(std::wstring& text);

// The regsvr32 run that unregisters an in-process server, silently.
ProcessStartInfo UnregisterDllStartInfo(const std::wstring& dllPath);
// The server's own "/UNREGSERVER" run, in the server's folder.
ProcessStartInfo UnregisterExeStartInfo(const std::wstring& exePath);

// The child was started, ended, and did not end with -1.
bool EndedAsUnregistered(const Process& process);

bool UnregisterComDll(const std::wstring& path);
bool UnregisterComExe(const std::wstring& path);

}  // namespace Zento::Lithcore
