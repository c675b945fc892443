#pragma once
// Every user of the machine, logged on or not: the hives of those who are not logged on are loaded for
// the run, searched like any loaded hive, backed up into a file of their own and unloaded at every end.
#include <memory>
#include <string>
#include <vector>

#include "app/RemovalPlan.h"
#include "app/RemovalTargets.h"
#include "app/Report.h"
#include "platform/Privileges.h"

namespace Quellor {

// Owns the hives the run loaded. It lives in the run's outermost scope, beyond the plan and every
// registry handle, so that each hive can be unloaded once nothing is open in it.
class UserHiveSession {
public:
    UserHiveSession() = default;
    ~UserHiveSession();  // unloads what is still loaded (an end by exception); errors are reported by UnloadAll
    UserHiveSession(const UserHiveSession&) = delete;
    UserHiveSession& operator=(const UserHiveSession&) = delete;

    // Loads the hive of every listed user who is not logged on and says how each user is searched.
    void LoadProfiles(Report& report);
    const SearchedUsers& Users() const { return users_; }

    // Unloads every hive the run loaded and gives back the privileges. A failure is reported with its
    // error; false then.
    [[nodiscard]] bool UnloadAll(Report& report);

private:
    struct LoadedHive {
        std::wstring name;  // below HKEY_USERS
        std::wstring file;  // empty after a failed load (Wine leaves an empty key behind)
        std::wstring sid;
    };
    void LoadUser(SearchedUser& user);
    [[nodiscard]] LONG Load(const std::wstring& name, const std::wstring& file, const std::wstring& sid);

    SearchedUsers users_;
    std::vector<LoadedHive> loaded_;
    std::unique_ptr<Zento::Lithcore::EnabledPrivileges> privileges_;
};

// The users that could not be searched, as lines for the end message; empty when every user was.
PathList NotSearchedUserLines(const SearchedUsers& users);

// The log's account of each searched user: their profile, how the hive was reached, what was found.
void LogUserFindings(Report& report, const RemovalPlan& plan);
// ... and after the removal, what of it is gone.
void LogUserOutcomes(Report& report, const RemovalPlan& plan);

// The targets of the main backup: all but the keys in hives the run loaded.
TargetList WithoutLoadedHives(const TargetList& targets, const SearchedUsers& users);

// One backup file per user whose hive the run loaded and who has keys to delete, beside the main
// backup: "backup_<timestamp>_<sid>.reg" with the keys under HKEY_USERS\<sid>. ERROR_SUCCESS, or the
// first error; `written` receives the files made.
[[nodiscard]] DWORD BackUpLoadedHives(const TargetList& targets, const SearchedUsers& users,
                                      const std::wstring& mainBackupPath, PathList& written);

}  // namespace Quellor
