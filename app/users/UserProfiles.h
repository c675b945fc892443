#pragma once
// Every user of the machine, logged on or not: the hives of those who are not logged on are loaded for
// the run, searched like any loaded hive, backed up into a file of their own and unloaded at every end.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/plan/RemovalPlan.h"
#include "app/plan/RemovalTargets.h"
#include "app/Report.h"

namespace Quellor {

// Owns the hives the run loaded. It lives in the run's outermost scope, beyond the plan and every
// registry handle, so that each hive can be unloaded once nothing is open in it. The hives are held only
// while the run searches or deletes in them: unloaded before every wait for the operator, loaded again
// (under the same names) when the operator lets the run go on.
class UserHiveSession : public OperatorWaits {
public:
    UserHiveSession() = default;
    ~UserHiveSession();  // unloads what is still loaded (an end by exception); errors are reported by UnloadAll
    UserHiveSession(const UserHiveSession&) = delete;
    UserHiveSession& operator=(const UserHiveSession&) = delete;

    // Loads the hives of every listed user who is not logged on and fills `users` with how each user is
    // searched. `users` (the plan's list) is kept up to date until UnloadAll: a user whose hives do not
    // load again after a wait is not searched from then on.
    void LoadProfiles(Report& report, SearchedUsers& users);

    void BeforeOperatorWait(Report& report) override;
    void AfterOperatorGoesOn(Report& report) override;

    // Unloads every hive the run loaded. A failure is reported with its error; false then.
    [[nodiscard]] bool UnloadAll(Report& report);

private:
    struct HiveMount {
        std::wstring name;  // below HKEY_USERS
        std::wstring file;  // empty for the empty key a failed load left (Wine): unloaded, never loaded again
        std::wstring sid;
        bool loaded = true;
    };
    void LoadUser(SearchedUser& user);
    [[nodiscard]] LONG LoadMount(const std::wstring& name, const std::wstring& file, const std::wstring& sid);
    void UnloadUser(const std::wstring& sid);
    [[nodiscard]] LONG ReloadUser(const std::wstring& sid);
    [[nodiscard]] bool UnloadMount(Report& report, HiveMount& mount);

    SearchedUsers* users_ = nullptr;
    std::vector<HiveMount> mounts_;
};

// The users that could not be searched, as lines for the end message; empty when every user was.
PathList NotSearchedUserLines(const SearchedUsers& users);

// The log's account of each searched user: their profile, how the hive was reached, what was found.
void LogUserFindings(Report& report, const RemovalPlan& plan);
// ... and after the removal, what of it is gone: the targets whose identities `goneTargets` holds.
void LogUserOutcomes(Report& report, const RemovalPlan& plan, const std::set<std::wstring>& goneTargets);

// The targets of the main backup: all but the keys in hives the run loaded.
TargetList WithoutLoadedHives(const TargetList& targets, const SearchedUsers& users);

// One backup file per user whose hive the run loaded and who has keys to delete, beside the main
// backup: "backup_<timestamp>_<sid>.reg" with the keys under HKEY_USERS\<sid>. ERROR_SUCCESS, or the
// first error; `written` receives the files made.
[[nodiscard]] DWORD BackUpLoadedHives(const TargetList& targets, const SearchedUsers& users,
                                      const std::wstring& mainBackupPath, PathList& written);

}  // namespace Quellor
