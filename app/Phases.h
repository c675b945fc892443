#pragma once
#include <string>

#include "app/Profile.h"
#include "app/plan/RemovalPlan.h"
#include "app/Report.h"
#include "app/users/UserProfiles.h"

namespace Quellor {

// Collection: only reads. 0 to go on, -1 when the run ends at the installation check.
int RunCollection(Report& report, const Settings& profile, RemovalPlan& plan);

// The collection's searches once more, on the machine as it is now, without a word on the console or in
// the log: the targets they admit are what is still there of the product.
TargetList SearchAgain(const Report& report, const Settings& profile, const RemovalPlan& removed);

// Confirmation and removal: 0 after the completion message, -1 at every other end.
int RunRemovalPhases(Report& report, const Settings& profile, const RemovalPlan& plan);

inline int RunPhases(Report& report, const Settings& profile, const std::wstring& productCode,
                     UserHiveSession& hives) {
    RemovalPlan plan;
    plan.productCode = productCode;
    hives.LoadProfiles(report, plan.users);
    if (RunCollection(report, profile, plan) != 0) return -1;
    LogUserFindings(report, plan);
    return RunRemovalPhases(report, profile, plan);
}

// The product's Start-menu folders below a Programs folder, and its shortcuts' names (without ".lnk").
PathList MenuFolderNames(const Settings& profile, const std::wstring& displayName);
PathList ShortcutNames(const Settings& profile, const std::wstring& displayName);

// The installer's packed form of a braced code.
std::wstring Packed(const std::wstring& guid);

// The installer's baseline cache of the product's patches below the Windows folder.
std::wstring PatchCacheFolder(const std::wstring& windowsFolder, const std::wstring& productCode);

// The three folders the product installs to, whether they exist or not.
PathList ProgramFolderCandidates(const Settings& profile);

}  // namespace Quellor
