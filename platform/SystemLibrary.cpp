#include "platform/SystemLibrary.h"

#include <cwchar>
#include <string>

#include "platform/Environment.h"

namespace Zento::Lithcore {

namespace {

bool IsBareFileName(const wchar_t* fileName) {
    return fileName != nullptr && *fileName != L'\0' && std::wcspbrk(fileName, L"\\/:") == nullptr;
}

}  // namespace

UniqueModule LoadSystemLibraryWith(LoadLibraryExFn loadLibraryEx, const wchar_t* fileName, DWORD& error) {
    if (!IsBareFileName(fileName)) {
        error = ERROR_INVALID_PARAMETER;
        return UniqueModule();
    }
    HMODULE module = loadLibraryEx(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        // A system without the search flags refuses the flag itself. The full path then names the file, and
        // the altered search path makes the library's own imports come from its folder, not the program's.
        const std::wstring path = SystemFolderFile(fileName);
        if (path.empty()) {
            error = ERROR_PATH_NOT_FOUND;
            return UniqueModule();
        }
        module = loadLibraryEx(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module == nullptr) {
        error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_MOD_NOT_FOUND;  // a failure must never read as success
    } else {
        error = ERROR_SUCCESS;
    }
    return UniqueModule(module);
}

UniqueModule LoadSystemLibrary(const wchar_t* fileName, DWORD& error) {
    return LoadSystemLibraryWith(&::LoadLibraryExW, fileName, error);
}

}  // namespace Zento::Lithcore
