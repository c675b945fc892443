#include "processes/ChildProcess.h"

#include <boost/format.hpp>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t Blanks[] = {L' ', L'\u3000', L'\r', L'\n', L'\t'};
constexpr DWORD EndAfterTerminateMs = 5000;

DWORD g_childWaitLimitMs = DefaultChildWaitLimitMs;

bool IsBlank(wchar_t c) {
    for (wchar_t blank : Blanks)
        if (c == blank) return true;
    return false;
}

STARTUPINFOW MakeStartupInfo(bool hidden) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    return startup;
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

bool Process::Start() {
    std::wstring commandLine = BuildCommandLine(startInfo);
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = MakeStartupInfo(startInfo.hidden);
    PROCESS_INFORMATION created{};
    const wchar_t* folder = startInfo.workingFolder.empty() ? nullptr : startInfo.workingFolder.c_str();
    if (::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &created) !=
        TRUE) {
        startError = ::GetLastError();
        return false;
    }

    started = true;
    UniqueHandle thread(created.hThread);
    handle.Reset(created.hProcess);
    processId = created.dwProcessId;
    threadId = created.dwThreadId;
    if (!Wait(ChildWaitLimitMs()) && handle.IsValid()) {
        // Past the limit the child is ended: a hung unregistration must not hold the run. The record
        // keeps its open handle, which marks it as not ended by itself.
        ::TerminateProcess(handle.Get(), FailedExitCode);
        ::WaitForSingleObject(handle.Get(), EndAfterTerminateMs);
    }
    return true;
}

bool Process::Wait(DWORD timeoutMs) {
    if (handle.Get() == INVALID_HANDLE_VALUE) return false;
    // A failed wait (WAIT_FAILED) is no end either.
    if (::WaitForSingleObject(handle.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    exitCode = FailedExitCode;
    if (!::GetExitCodeProcess(handle.Get(), &exitCode)) return false;
    handle.Reset(INVALID_HANDLE_VALUE);
    return true;
}

Process RunProcess(const ProcessStartInfo& info) {
    Process process(info);
    process.Start();
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
