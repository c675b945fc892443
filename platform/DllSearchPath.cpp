#include "platform/DllSearchPath.h"

#include "platform/SystemLibrary.h"

namespace Zento::Lithcore {

void RestrictDllSearchWith(SetDefaultDllDirectoriesFn setDefaultDllDirectories, SetDllDirectoryFn setDllDirectory) {
    if (setDefaultDllDirectories != nullptr) {
        // Nothing is left to do if it fails: the flag is valid wherever the call exists.
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
        return;
    }
    // An empty string removes the current folder from the search (the program's folder stays in it).
    if (setDllDirectory != nullptr) setDllDirectory(L"");
}

void RestrictDllSearchToSystemFolder() {
    // kernel32 is in every process already; both calls are looked up because older systems lack them.
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    RestrictDllSearchWith(ProcAddress<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories"),
                          ProcAddress<SetDllDirectoryFn>(kernel32, "SetDllDirectoryW"));
}

}  // namespace Zento::Lithcore
