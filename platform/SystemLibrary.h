#pragma once
// DLLs of the system folder, and their functions looked up by name or ordinal.
#include <windows.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

using LoadLibraryExFn = HMODULE(WINAPI*)(LPCWSTR fileName, HANDLE reserved, DWORD flags);

// Loads `fileName` (a bare file name such as L"msi.dll") from the system folder only, never from the
// program's folder, the current folder or PATH, where anything may lie. Empty, with `error` set, when it
// cannot be loaded; a name with a folder in it is refused with ERROR_INVALID_PARAMETER.
UniqueModule LoadSystemLibrary(const wchar_t* fileName, DWORD& error);
// The same with the loader call given, so the fallback for systems without the system-folder search can
// be tried where that search exists.
UniqueModule LoadSystemLibraryWith(LoadLibraryExFn loadLibraryEx, const wchar_t* fileName, DWORD& error);

// A function of a loaded module, typed; null when the module lacks it.
template <class Fn>
Fn ProcAddress(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

template <class Fn>
Fn ProcAddress(HMODULE module, WORD ordinal) {
    return ProcAddress<Fn>(module, MAKEINTRESOURCEA(ordinal));
}

}  // namespace Zento::Lithcore
