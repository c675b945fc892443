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
        TRUE)
        return false;

    started = true;
    Handle::Handle thread(created.hThread);
    handle.Set(created.hProcess);
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
    handle.Set(INVALID_HANDLE_VALUE);
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

ProcessStartInfo UnregisterExeStartInfo(const std::wstring& exePath) {
    ProcessStartInfo info;
    info.program = exePath;
    info.arguments = L" /UNREGSERVER";
    info.workingFolder = FolderOf(exePath);
    return info;
}

bool EndedAsUnregistered(const Process& process) {
    return process.handle.Get() == INVALID_HANDLE_VALUE && process.started && process.exitCode != FailedExitCode;
}

bool RegsvrEndedAsUnregistered(const Process& process) {
    return process.handle.Get() == INVALID_HANDLE_VALUE && process.started && process.exitCode == 0;
}

bool UnregisterComDll(const std::wstring& path) {
    ProcessStartInfo info = UnregisterDllStartInfo(path);
    if (info.program.empty()) return false;  // no system folder: never a regsvr32 found by search
    return RegsvrEndedAsUnregistered(RunProcess(info));
}

bool UnregisterComExe(const std::wstring& path) { return EndedAsUnregistered(RunProcess(UnregisterExeStartInfo(path))); }

}  // namespace Zento::Lithcore
