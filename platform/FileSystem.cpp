#include "platform/FileSystem.h"

#include <shlwapi.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore::System {

namespace {

const FileApi& SystemFileApi() {
    static const FileApi table{&::GetFileAttributesW, &::SetFileAttributesW,         &::DeleteFileW,
                               &::RemoveDirectoryW,   &::CreateFileW,                &::MoveFileExW,
                               &::SHFileOperationW,   &::GetFinalPathNameByHandleW, &::GetSecurityInfo,
                               &::FindFirstFileW,     &::FindNextFileW};
    return table;
}

const FileApi* g_replacement = nullptr;

}  // namespace

const FileApi& Files() { return g_replacement != nullptr ? *g_replacement : SystemFileApi(); }

const FileApi* ReplaceFileApi(const FileApi* table) {
    const FileApi* previous = &Files();
    g_replacement = table;
    return previous;
}

}  // namespace Zento::Lithcore::System

namespace Zento::Lithcore {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A drive root ("C:\") keeps its backslash: without it the path means the drive's current folder.
std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
    return path;
}

// For comparing only: "C:\" and "C:" then name the same folder.
std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    return path;
}

// Windows refuses a path of MAX_PATH characters or more unless it is given in the "\\?\" form,
// which it takes literally: the path is made absolute and plain first.
std::wstring ReachableForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) return path;
    std::wstring full = FullPathOf(path);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.rfind(L"\\\\", 0) == 0 && full.size() > 2 && full[2] != L'?' && full[2] != L'.')
        return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring FullPathOf(const std::wstring& path) {
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

bool PathMatchesAnything(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(System::Files().findFirstFile(path.c_str(), &data));
    return find.IsValid();
}

void ForEachEntry(const std::wstring& folder, const EntryVisitor& visit) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(System::Files().findFirstFile((folder + L"\\*").c_str(), &entry));
    if (!find) return;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            visit(folder + L"\\" + entry.cFileName, entry);
    } while (System::Files().findNextFile(find.Get(), &entry));
}

std::wstring FoldedName(const std::wstring& name) {
    if (name.empty()) return name;
    std::wstring folded(name.size(), L'\0');
    const int length = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.c_str(), static_cast<int>(name.size()),
                                      folded.data(), static_cast<int>(folded.size()));
    return length == static_cast<int>(name.size()) ? folded : name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return FoldedName(WithoutTrailingBackslashes(a)) == FoldedName(WithoutTrailingBackslashes(b));
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
    const std::wstring base = FoldedName(WithoutTrailingBackslashes(folder));
    const std::wstring folded = FoldedName(path);
    if (base.empty() || folded.compare(0, base.size(), base) != 0) return false;
    return folded.size() == base.size() || folded[base.size()] == L'\\';
}

std::wstring LongPathOf(const std::wstring& path) {
    const DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring longPath(needed, L'\0');
    const DWORD length = ::GetLongPathNameW(path.c_str(), longPath.data(), needed);
    if (length == 0 || length >= needed) return path;
    longPath.resize(length);
    return longPath;
}

std::wstring ComparablePath(const std::wstring& path) { return path.empty() ? path : FoldedName(LongPathOf(path)); }

bool IsFolder(const std::wstring& path) { return ::PathIsDirectoryW(path.c_str()) != FALSE; }

PathPresence QueryPathPresence(const std::wstring& path) {
    const std::wstring asked = ReachableForm(WithoutTrailingSeparators(path));
    if (System::Files().getFileAttributes(asked.c_str()) != INVALID_FILE_ATTRIBUTES) return {true, 0};
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, 0};
    return {true, error};
}

std::wstring FinalPathOf(const std::wstring& path) {
    const std::wstring asked = ReachableForm(WithoutTrailingSeparators(path));
    // No access is asked for: the handle only names what the open reached. Backup semantics open folders.
    UniqueHandle opened(System::Files().createFile(asked.c_str(), 0,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) return {};
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = System::Files().getFinalPathNameByHandle(opened.Get(), final.data(), static_cast<DWORD>(final.size()),
                                                            VOLUME_NAME_DOS);
    if (length >= final.size()) {  // too small: the answer is the size needed, its NUL included
        final.assign(length, L'\0');
        length = System::Files().getFinalPathNameByHandle(opened.Get(), final.data(), static_cast<DWORD>(final.size()),
                                                          VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= final.size()) return {};
    final.resize(length);
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + final.substr(8);
    if (final.rfind(L"\\\\?\\", 0) == 0) return final.substr(4);
    return final;
}


}  // namespace Zento::Lithcore
