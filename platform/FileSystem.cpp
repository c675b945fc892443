#include "platform/FileSystem.h"

#include <shlwapi.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore::System {

namespace {

const FileApi& SystemFileApi() {
    static const FileApi table{&::GetFileAttributesW, &::SetFileAttributesW, &::DeleteFileW, &::RemoveDirectoryW,
                               &::CreateFileW,        &::MoveFileExW,        &::SHFileOperationW};
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

bool PathMatchesAnything(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
    return find.IsValid();
}

bool IsFolder(const std::wstring& path) { return ::PathIsDirectoryW(path.c_str()) != FALSE; }

}  // namespace Zento::Lithcore
