#include "processes/ChildProcess.h"

#include <boost/format.hpp>

#include <algorithm>
#include <iterator>

#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t Blanks[] = {L' ', L'\u3000', L'\r', L'\n', L'\t'};
constexpr DWORD EndAfterTerminateMs = 5000;

DWORD g_childWaitLimitMs = DefaultChildWaitLimitMs;

bool IsBlank(wchar_t c) { return std::find(std::begin(Blanks), std::end(Blanks), c) != std::end(Blanks); }

// True when the process ended within the time-out; then the exit code is read and the handle closed.
bool AwaitEnd(Process& process, DWORD timeoutMs) {
    // A failed wait (WAIT_FAILED) is no end either.
    if (::WaitForSingleObject(process.handle.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    process.exitCode = FailedExitCode;
    if (!::GetExitCodeProcess(process.handle.Get(), &process.exitCode)) return false;
    process.handle.Reset(INVALID_HANDLE_VALUE);
    return true;
}

}  // namespace

StepResult ChildFailure(const Process& process) {
    if (!process.started) return StepResult::Failure(process.startError);
    if (process.handle.Get() != INVALID_HANDLE_VALUE) return StepResult::Failure(WAIT_TIMEOUT);
    return StepResult::Failure(process.exitCode);
}

DWORD ChildWaitLimitMs() { return g_childWaitLimitMs; }

void SetChildWaitLimitMs(DWORD limitMs) { g_childWaitLimitMs = limitMs; }

std::wstring TrimBlanks(std::wstring& text) {
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    text.erase(0, first);
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    return text;
}

std::wstring BuildCommandLine(const ProcessStartInfo& info) {
    std::wstring commandLine =
        info.program.empty() ? info.arguments : (boost::wformat(L"\"%s\" %s") % info.program % info.arguments).str();
    TrimBlanks(commandLine);
    return commandLine;
}

Process RunProcess(const ProcessStartInfo& info) {
    Process process;
    std::wstring commandLine = BuildCommandLine(info);  // CreateProcessW may write to it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (info.hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION created{};
    const wchar_t* folder = info.workingFolder.empty() ? nullptr : info.workingFolder.c_str();
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                         &created) != TRUE) {
        process.startError = ::GetLastError();
        return process;
    }

    process.started = true;
    UniqueHandle thread(created.hThread);
    process.handle.Reset(created.hProcess);
    process.processId = created.dwProcessId;
    if (!AwaitEnd(process, ChildWaitLimitMs()) && process.handle.IsValid()) {
        // Past the limit the child is ended: a hung unregistration must not hold the run. The record
        // keeps its open handle, which marks it as not ended by itself.
        ::TerminateProcess(process.handle.Get(), FailedExitCode);
        ::WaitForSingleObject(process.handle.Get(), EndAfterTerminateMs);
    }
    return process;
}

std::wstring ServerPathOfCommandLine(const std::wstring& value) {
    std::wstring text = value;
    TrimBlanks(text);
    if (!text.empty() && text[0] == L'"') {
        const size_t closing = text.find(L'"', 1);
        return text.substr(1, closing == std::wstring::npos ? std::wstring::npos : closing - 1);
    }
    const std::wstring folded = FoldedName(text);
    for (size_t at = folded.find(L".EXE"); at != std::wstring::npos; at = folded.find(L".EXE", at + 1)) {
        const size_t end = at + 4;
        if (end == text.size() || IsBlank(text[end])) return text.substr(0, end);
    }
    return text;
}

}  // namespace Zento::Lithcore
