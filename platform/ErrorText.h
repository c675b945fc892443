#pragma once
// The text of a Win32 error for the log: "エラー N: <the system's message>".
#include <windows.h>

#include <string>

namespace Zento::Lithcore {

std::wstring Win32ErrorText(DWORD error);

}  // namespace Zento::Lithcore
