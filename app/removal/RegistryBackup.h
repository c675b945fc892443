#pragma once
// The registry backup written before the removal's first change: "backup_" + the log's timestamp +
// ".reg" beside the log, in regedit's UTF-16LE form with a byte-order mark.
#include <windows.h>

#include <string>

namespace Quellor {

// "infoLog_20250203090507.txt" -> "backup_20250203090507.reg" (a "_2" suffix of the log is kept).
std::wstring BackupFileName(const std::wstring& logPath);

// Writes `bytes` into a new file that only Administrators and SYSTEM may change (never over an existing
// one: an administrator uses it later, whoever may write the folder it lies in), or at the end of an
// existing one, flushes and closes it. A new file that could not be written whole is deleted again.
// ERROR_SUCCESS, or the Win32 error of the step that failed.
[[nodiscard]] DWORD WriteProtectedFile(const std::wstring& path, const std::string& bytes, bool append);

// The backup's text written so.
[[nodiscard]] DWORD WriteBackupFile(const std::wstring& path, const std::wstring& text);

}  // namespace Quellor
