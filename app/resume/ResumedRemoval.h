#pragma once
// Takes up what an earlier, unfinished removal of the product left: the targets of its journal that are
// still there join the plan when the collection's one admission rule admits them, exactly as it would
// admit the same candidate found by a search; so an edited or stray journal never widens the removal.
// A key that a server's unregistration or the service manager removed is then a key like any other:
// nothing unregisters it again.
#include "app/admission/Admission.h"
#include "app/resume/RemovalJournal.h"
#include "app/plan/RemovalPlan.h"
#include "app/Report.h"

namespace Quellor {

// The folders of the earlier targets' files and folders: the component pass looks for other
// products' files below them too.
PathList FoldersOfEarlierTargets(const EarlierJournals& earlier);

// Adds the earlier targets that are still there, are admitted and are not planned already to
// `plan.targets`, in deletion order, and reports them, the ones refused and the journals ignored, on the console
// and in the log. Prints nothing when no journal was found.
void TakeUpEarlierRemovals(Report& report, const TargetAdmission& admission, RemovalPlan& plan,
                           const EarlierJournals& earlier);

}  // namespace Quellor
