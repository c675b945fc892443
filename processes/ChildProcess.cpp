#include "processes/ChildProcess.h"

#include <boost/format.hpp>
#include <vector>

#include "platform/Environment.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t Blanks[] = {L' ', L'\u3000', L'\r', L'\n', L'\t'};
constexpr DWORD FailedExitCode = 0xFFFFFFFF;
constexpr DWORD EndAfterTerminateMs = 5000;

DWORD g_childWaitLimitMs = DefaultChildWaitLimitMs;

bool IsBlank(wchar_t c) {
    for (wchar_t blank : Blanks)
        if (c == blank) return true;
    return false;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t lastBackslash = path.rfind(L'\\');
    return lastBackslash == std::wstring::npos ? path : path.substr(0, lastBackslash);
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

// Why a child's run did not count: it never started, it did not end within the limit (and was
// ended), or it ended with a code that reports failure.
StepResult ChildFailure(const Process& process) {
    if (!process.started) return StepResult::Failure(process.startError);
    if (process.handle.Get() != INVALID_HANDLE_VALUE) return StepResult::Failure(WAIT_TIMEOUT);
    return StepResult::Failure(process.exitCode);
}

}  // namespace

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

ProcessStartInfo UnregisterDllStartInfo(const std::wstring& dllPath) {
    ProcessStartInfo info;
    info.program = SystemFolderFile(L"regsvr32.exe");
    info.arguments = L" /u /s \"" + dllPath + L"\"";
    info.workingFolder = FolderOf(info.program);
    return info;
}

std::wstring ServerPathOfCommandLine(const std::wstring& value) {
    std::wstring text = value;
    TrimBlanks(text);
    if (!text.empty() && text[0] == L'"') {
        const size_t closing = text.find(L'"', 1);
        return text.substr(1, closing == std::wstring::npos ? std::wstring::npos : closing - 1);
    }
    std::wstring lower = text;
    for (wchar_t& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    for (size_t at = lower.find(L".exe"); at != std::wstring::npos; at = lower.find(L".exe", at + 1)) {
        const size_t end = at + 4;
        if (end == text.size() || IsBlank(text[end])) return text.substr(0, end);
    }
    return text;
}

ProcessStartInfo UnregisterExeStartInfo(const std::wstring& serverValue) {
    ProcessStartInfo info;
    info.program = ServerPathOfCommandLine(serverValue);
    info.arguments = L" /UNREGSERVER";
    info.workingFolder = FolderOf(info.program);
    return info;
}

bool EndedAsUnregistered(const Process& process) {
    return process.handle.Get() == INVALID_HANDLE_VALUE && process.started && process.exitCode != FailedExitCode;
}

bool RegsvrEndedAsUnregistered(const Process& process) {
    return process.handle.Get() == INVALID_HANDLE_VALUE && process.started && process.exitCode == 0;
}

StepResult UnregisterComDll(const std::wstring& path) {
    ProcessStartInfo info = UnregisterDllStartInfo(path);
    // No system folder: never a regsvr32 found by search.
    if (info.program.empty()) return StepResult::Failure(ERROR_PATH_NOT_FOUND);
    const Process process = RunProcess(info);
    return RegsvrEndedAsUnregistered(process) ? StepResult::Success() : ChildFailure(process);
}

StepResult UnregisterComExe(const std::wstring& serverValue) {
    const Process process = RunProcess(UnregisterExeStartInfo(serverValue));
    return EndedAsUnregistered(process) ? StepResult::Success() : ChildFailure(process);
}

}  // namespace Zento::Lithcore
