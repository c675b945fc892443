#pragma once
#include <string>

namespace Zento::Lithcore {

// Replaces every %NAME% reference; the buffer grows until the whole expansion fits.
std::wstring ExpandEnvironment(const std::wstring& text);

// IsWow64Process on the current process reported 1: a 32-bit program on 64-bit Windows.
bool IsWow64();

// The system folder as GetSystemDirectoryW gives it (SysWOW64 for a 32-bit process under WOW64, the
// home of the 32-bit system programs and libraries) joined with `fileName`; empty when the system gives
// no folder. System programs and msi.dll are used by this full path: a bare name is looked up first in
// the program's own folder and the current folder, where anything may lie.
std::wstring SystemFolderFile(const std::wstring& fileName);

// Whether the process runs with an administrator's full token (elevated). Where the system knows no
// elevation, whether its token is a member of the Administrators group.
bool IsProcessElevated();

}  // namespace Zento::Lithcore
