#pragma once
// Where the process looks for DLLs that are loaded by bare name, its own imports' late loads included.
#include <windows.h>

namespace Zento::Lithcore {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD directoryFlags);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR pathName);

// Restricts the DLL search of the whole process to the system folder, so that no DLL lying beside the
// program or in the current folder is ever loaded. Called first thing, before anything loads a library.
// Where the system lacks SetDefaultDllDirectories, the current folder at least is taken out of the search.
void RestrictDllSearchToSystemFolder();
// The same with the two calls given (either may be null: the system lacks it).
void RestrictDllSearchWith(SetDefaultDllDirectoriesFn setDefaultDllDirectories, SetDllDirectoryFn setDllDirectory);

}  // namespace Zento::Lithcore
