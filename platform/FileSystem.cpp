#include "platform/FileSystem.h"

#include <shlwapi.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

bool PathMatchesAnything(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
    return find.IsValid();
}

PathPresence QueryPathPresence(const std::wstring& path) {
    std::wstring trimmed = path;
    while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
    if (::GetFileAttributesW(trimmed.c_str()) != INVALID_FILE_ATTRIBUTES) return {true, ERROR_SUCCESS};
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, error};
    return {true, error};
}

std::wstring ComparablePath(const std::wstring& path) {
    if (path.empty()) return path;
    std::wstring full = path;
    DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed != 0) {
        std::wstring buffer(needed, L'\0');
        DWORD length = ::GetLongPathNameW(path.c_str(), &buffer[0], needed);
        if (length != 0 && length < needed) full.assign(buffer.c_str(), length);
    }
    int size = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(full.size()), nullptr, 0);
    if (size <= 0) return full;
    std::wstring upper(static_cast<size_t>(size), L'\0');
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(full.size()), &upper[0], size);
    return upper;
}

bool IsFolder(const std::wstring& path) { return ::PathIsDirectoryW(path.c_str()) != FALSE; }

}  // namespace Zento::Lithcore
