#include "platform/FileSystem.h"

#include <shlwapi.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

bool PathMatchesAnything(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
    return find.IsValid();
}

bool IsFolder(const std::wstring& path) { return ::PathIsDirectoryW(path.c_str()) != FALSE; }

}  // namespace Zento::Lithcore
