#pragma once
// The check at the end, which trusts no plan: it asks the machine about every target and searches it again.
#include <set>
#include <string>

#include "app/Profile.h"
#include "app/Report.h"
#include "app/plan/RemovalPlan.h"

namespace Quellor {

// Every target that is still there, as log lines, except those that go at the next start (a file in use,
// a service marked for deletion). A key that goes only when empty counts only while it is there and
// holds nothing.
PathList RemainingTargets(const TargetList& targets, const std::set<std::wstring>& scheduledTargets);

// What is left of the product: the targets that are still there, and whatever the searches, made once
// more on the machine as it now is, still find (a key that a process wrote again, a registration that
// showed only once its parent went). What goes at the next start is no leftover.
PathList Leftovers(const Report& report, const Settings& profile, const RemovalPlan& plan,
                   const std::set<std::wstring>& scheduledTargets);

}  // namespace Quellor
