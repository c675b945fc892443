#pragma once
// A user of the machine as the run found them in the profile list.
#include <windows.h>

#include <string>
#include <vector>

namespace Quellor {

enum class UserHiveState {
    LoggedOn,      // the hive was loaded already: searched like every loaded hive
    LoadedByTool,  // the run loaded the hive and searched it; unloaded at the end
    NoHiveFile,    // no hive file: nothing of the user can be in the registry
    NotSearched,   // the hive file exists but could not be loaded
};

struct SearchedUser {
    std::wstring sid;
    std::wstring profileFolder;
    UserHiveState state = UserHiveState::NoHiveFile;
    DWORD error = ERROR_SUCCESS;  // NotSearched: why
    bool classesLoaded = false;   // LoadedByTool: the <sid>_Classes hive as well
};

using SearchedUsers = std::vector<SearchedUser>;

}  // namespace Quellor
