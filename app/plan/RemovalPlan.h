#pragma once
// What the collection found, complete before the confirmation question: everything the removal
// executes, backs up and checks, and nothing else.
#include <optional>
#include <string>
#include <vector>

#include "app/users/SearchedUser.h"
#include "app/plan/Target.h"
#include "registry/RegistryKeys.h"

namespace Quellor {

using Zento::Lithcore::PathList;

// Something the removal leaves in place because another installed product uses it.
struct SparedItem {
    std::wstring item;  // a key path, a file path, a COM registration or the service
    PathList keptFor;   // the products that keep it (braced codes, or the value names that name them)
};

struct RemovalPlan {
    std::wstring productCode;

    // What the searches found, in the order they found it, each with its kind and the section it is
    // deleted in; TargetsOf puts them in deletion order.
    TargetList candidates;

    PathList programFolders;  // the product's folders as found
    // A shared component's path is unknown, or a component registration could not be read: no program
    // folder goes, for another product's file may lie in them; the line says which. Empty otherwise.
    std::wstring programFoldersKeptLine;
    // The folders no deletion may reach; none when they could not be read, and then no folder is deleted.
    std::optional<PathList> protectedFolders;

    // Left for other products: reported, never removed.
    std::vector<SparedItem> spared;
    // Files of other products' components below the product's folders, and the files beside them.
    std::vector<SparedItem> keptForOtherComponents;

    // Every admitted target, the searches' and those taken up from earlier removals that did not
    // finish, once each, in deletion order: what the backup, the deletion, the journal, the check at the
    // end and the per-user logs walk. Made once, when the plan is complete.
    TargetList targets;
    // The journals of those earlier removals, marked finished with ours.
    PathList resumedJournals;

    // Every user of the profile list: the hives searched, and those that could not be.
    SearchedUsers users;
};

}  // namespace Quellor
