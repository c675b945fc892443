#pragma once
// TEMPORARY: adapters to the lower layers' old signatures until their new ones are merged.
#include "platform/StepResult.h"
#include "processes/Processes.h"
#include "processes/Services.h"
#include "processes/ChildProcess.h"
#include "registry/InstallerRegistry.h"
namespace Zento::Lithcore {
inline StepResult FromBool(bool ok) { return ok ? StepResult::Success() : StepResult::Failure(ERROR_GEN_FAILURE); }
inline std::wstring ServerPathOfCommandLine(const std::wstring& v) { return v; }
enum class ServiceRemoval { Deleted, AlreadyGone, MarkedForDeletion };
struct ServiceUninstall { StepResult result; ServiceRemoval outcome; };
inline ServiceUninstall UninstallServiceIfInstalledS(const std::wstring& n) { return {FromBool(UninstallServiceIfInstalled(n)), ServiceRemoval::Deleted}; }
inline StepResult TerminateProcessesAt(const std::wstring& path, DWORD) {
    size_t slash = path.find_last_of(L'\\');
    return FromBool(TerminateProcessesByName(slash == std::wstring::npos ? path : path.substr(slash + 1)));
}
}
