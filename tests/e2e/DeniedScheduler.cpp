// Linked only into a tests' build of quellor.exe: everything below a folder named Scheduler is
// protected as by security that forbids its deletion (which Wine does not enforce): deleting,
// removing and opening for DELETE access are refused with access denied.
#include <windows.h>
#include <shellapi.h>

#include <cwctype>
#include <string>

#include "platform/FileSystem.h"

namespace {

namespace System = Zento::Lithcore::System;

bool IsBelowScheduler(const wchar_t* path) {
    std::wstring folded = path != nullptr ? path : L"";
    for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(c));
    while (!folded.empty() && folded.back() == L'\\') folded.pop_back();
    const std::wstring name = L"\\scheduler";
    return folded.find(name + L"\\") != std::wstring::npos ||
           (folded.size() >= name.size() && folded.compare(folded.size() - name.size(), name.size(), name) == 0);
}

template <typename Result>
Result Denied(Result result) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return result;
}

BOOL WINAPI DeleteFileUnlessDenied(LPCWSTR path) {
    return IsBelowScheduler(path) ? Denied(FALSE) : ::DeleteFileW(path);
}

BOOL WINAPI RemoveDirectoryUnlessDenied(LPCWSTR path) {
    return IsBelowScheduler(path) ? Denied(FALSE) : ::RemoveDirectoryW(path);
}

HANDLE WINAPI CreateFileUnlessDenied(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE model) {
    if ((access & DELETE) != 0 && IsBelowScheduler(path)) return Denied(INVALID_HANDLE_VALUE);
    return ::CreateFileW(path, access, share, security, disposition, flags, model);
}

// The shell deletes what it may and reports access denied for the rest.
int WINAPI ShellOperationUnlessDenied(LPSHFILEOPSTRUCTW operation) {
    if (operation->wFunc == FO_DELETE && IsBelowScheduler(operation->pFrom)) return ERROR_ACCESS_DENIED;
    return ::SHFileOperationW(operation);
}

const System::FileApi kDenyingTable = [] {
    System::FileApi table = System::Files();
    table.deleteFile = &DeleteFileUnlessDenied;
    table.removeDirectory = &RemoveDirectoryUnlessDenied;
    table.createFile = &CreateFileUnlessDenied;
    table.shellFileOperation = &ShellOperationUnlessDenied;
    return table;
}();

const bool kInstalled = (System::ReplaceFileApi(&kDenyingTable), true);

}  // namespace
