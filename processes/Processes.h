#pragma once
// Running processes of the target product: the process walk, the diagnosis check on the product's
// shared status block, the stop signal to its resident components and the termination of the
// product's own executable.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/StepResult.h"
#include "platform/UniqueResource.h"
#include "settings/Settings.h"

namespace Zento::Lithcore {

struct ProcessStartInfo {
    std::wstring program;
    std::wstring arguments;
    std::wstring workingFolder;  // empty: the caller's current folder
    bool hidden = false;
};

// One child's run (RunProcess). Owns its process handle; a handle of INVALID_HANDLE_VALUE marks a child
// that was not started, or was waited for to its end and whose handle is already closed.
struct Process {
    DWORD processId = 0;
    UniqueHandle handle{INVALID_HANDLE_VALUE};
    DWORD exitCode = 0;
    bool started = false;
    DWORD startError = ERROR_SUCCESS;  // CreateProcessW's error when it was not started
};

// One entry of the process snapshot; it holds no handle.
struct ProcessEntry {
    DWORD processId = 0;
    std::wstring exeName;
};

// Every process of the snapshot, in its order; none when the snapshot fails.
std::vector<ProcessEntry> ListProcesses();

// Terminates every process whose full image path is `imagePath` (letter case and 8.3 spellings aside)
// and awaits each one's end, at most waitLimitMs for each. Each process is opened once: its image path
// is read through the handle that terminates it, for an id may name another process by the time it is
// opened again. Processes of the same file name in other folders are left alone. Fails with
// WAIT_TIMEOUT when one did not end, or with the error of a matching process that could not be opened
// or terminated.
[[nodiscard]] StepResult TerminateProcessesAt(const std::wstring& imagePath, DWORD waitLimitMs);

// Waits, within the limit, for every process whose image is at `imagePath` to end, terminating none:
// a stopped service's process may still be ending, holding its files. WAIT_TIMEOUT when one outlives
// the limit; success when there is none.
[[nodiscard]] StepResult AwaitProcessesAt(const std::wstring& imagePath, DWORD waitLimitMs);

// Byte offsets and values of the product's 16-byte shared status block.
namespace StatusBlock {
inline constexpr DWORD Size = 16;
inline constexpr DWORD CareWindowOffset = 0;
inline constexpr DWORD SettingWindowOffset = 4;
inline constexpr DWORD ResidentWindowOffset = 8;
inline constexpr DWORD StatusOffset = 12;
inline constexpr DWORD StatusIdle = 0;
inline constexpr DWORD StatusDiagnosisDone = 6;
}  // namespace StatusBlock

inline constexpr UINT CareStopMessage = WM_USER + 1;
inline constexpr UINT SettingStopMessage = WM_USER + 1;
inline constexpr WPARAM ResidentStopCommand = 40011;
inline constexpr DWORD MutexWaitPerHandleMs = 30000;

enum class DiagnosisState { NotDiagnosing, Diagnosing, Unknown };
// Reads the product's status block, opened read-only and never created. No block means no product
// running and so no diagnosis. A block that exists but cannot be opened or read is Unknown, with
// the Win32 error in `error`: nobody can say then that no diagnosis runs.
[[nodiscard]] DiagnosisState CheckDiagnosis(const std::wstring& mappingName, DWORD& error);

// Posts the stop messages to the published windows and waits for the mutexes of those components.
// No block: nothing published, nothing to stop. Fails when a block that exists cannot be opened, a
// mutex that exists cannot be opened, or the wait timed out (WAIT_TIMEOUT) or failed. The mutex
// names are the tables' values, in key order. The per-handle bound is a parameter only so that tests
// can shorten it.
[[nodiscard]] StepResult StopResidentProcesses(const WideMap& care, const WideMap& setting, const WideMap& resident,
                                               const std::wstring& mappingName,
                                               DWORD waitPerHandleMs = MutexWaitPerHandleMs);

// Opens each existing named mutex for waiting only and appends its handle; a name that no mutex has
// is skipped. Every name is tried; the result is the first open error other than "no such mutex".
[[nodiscard]] StepResult OpenMutexHandles(const std::vector<std::wstring>& names, std::vector<UniqueHandle>& handles);

// Waits until all the mutexes can be held together, at most 64 handles at a time, each group bounded
// by its handle count times the per-handle bound, and gives each group back once held. Fails with
// WAIT_TIMEOUT, or with the error of a failed wait.
[[nodiscard]] StepResult WaitForAllMutexes(const std::vector<UniqueHandle>& handles, DWORD waitPerHandleMs);

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::System {

// The process and mutex functions that tests replace, in one table like the registry's: Wine lets
// every account open every mutex, and hands out a terminated process's id again only by chance. The
// product always runs on the system's own table.
struct ProcessApi {
    decltype(&::OpenProcess) openProcess;
    decltype(&::OpenMutexW) openMutex;
};

// The table in use.
const ProcessApi& ProcessCalls();

// Test seam: puts `table` in place of the one in use (null restores the system's table) and returns
// the table it replaced.
const ProcessApi* ReplaceProcessApi(const ProcessApi* table);

}  // namespace Zento::Lithcore::System
