#pragma once
// The registry backup written before the removal's first change: "backup_" + the log's timestamp +
// ".reg" beside the log, in regedit's UTF-16LE form with a byte-order mark.
#include <windows.h>

#include <string>

namespace Quellor {

// "infoLog_20250203090507.txt" -> "backup_20250203090507.reg" (a "_2" suffix of the log is kept).
std::wstring BackupFileName(const std::wstring& logPath);

// Creates the file (never over an existing one) so that only Administrators and SYSTEM may change it,
// writes the text, flushes and closes it.
// ERROR_SUCCESS, or the Win32 error of the step that failed.
[[nodiscard]] DWORD WriteBackupFile(const std::wstring& path, const std::wstring& text);

}  // namespace Quellor
