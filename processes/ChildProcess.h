#pragma once
// Child processes started and waited for to their end, and the programs that command lines name.
#include <string>

#include "processes/Processes.h"

namespace Zento::Lithcore {

// How long a child process is awaited: two minutes, far beyond any unregistration or service stop
// seen. A child still running then is ended, and its step has failed.
inline constexpr DWORD DefaultChildWaitLimitMs = 120000;
// -1: the code a child ended at the limit gets, and the one a local server reports its failure with.
inline constexpr DWORD FailedExitCode = 0xFFFFFFFF;
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

// Why a child's run did not count: it never started (CreateProcessW's error), it did not end within the
// limit and was ended (WAIT_TIMEOUT), or it ended with a code that reports failure (that code).
[[nodiscard]] StepResult ChildFailure(const Process& process);

}  // namespace Zento::Lithcore
