#include "processes/ComUnregistration.h"

#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace Zento::Lithcore {

ProcessStartInfo UnregisterDllStartInfo(const std::wstring& dllPath) {
    ProcessStartInfo info;
    info.program = SystemFolderFile(L"regsvr32.exe");
    info.arguments = L" /u /s \"" + dllPath + L"\"";
    info.workingFolder = FolderOf(info.program);
    return info;
}

ProcessStartInfo UnregisterExeStartInfo(const std::wstring& serverValue) {
    ProcessStartInfo info;
    info.program = ServerPathOfCommandLine(serverValue);
    info.arguments = L" /UNREGSERVER";
    // A bare server name keeps itself as the folder, as it always did: the start then fails and is reported.
    info.workingFolder = info.program.find(L'\\') == std::wstring::npos ? info.program : FolderOf(info.program);
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

StepResult UnregisterComServer(const std::wstring& serverPath, bool isDll, const RegistryKeyAddress& clsidKey) {
    if (isDll) return UnregisterComDll(serverPath);
    const StepResult ended = UnregisterComExe(serverPath);
    if (!ended.Succeeded()) return ended;
    return RegistryKeyExists(clsidKey) ? StepResult::Failure(ERROR_ALREADY_REGISTERED) : ended;
}

}  // namespace Zento::Lithcore
