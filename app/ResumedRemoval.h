#pragma once
// Takes up what an earlier, unfinished removal of the product left: the targets of its journal that are
// still there join the plan, but only those that the collection itself could have planned, so that an
// edited or stray journal never widens the removal.
//
// Registry targets must be in the native view and lie in one of the product's key families:
//   HKLM\Software[\Wow6432Node]\Microsoft\Windows\CurrentVersion\Uninstall\<product code>
//   ...\CurrentVersion\Installer\UserData\<sid>\Products\<packed product code>
//   HKLM\Software[\Wow6432Node]\Classes\Installer\Products|Features\<packed product code>
//   HKU\<sid>\Software[\Wow6432Node]\Microsoft\Installer\Products|Features\<packed product code>
//   HKLM\Software[\Wow6432Node]\Classes\CLSID\<one of the profile's CLSIDs>, ...\Interface\<NovexPS CLSID>
//   HKLM\Software[\Wow6432Node]\Classes\AppID\<GUID>, when no other CLSID key names that AppID
//   HKLM or HKU\<sid>, Software[\Wow6432Node]\<vendor>\Velkor and below
//   installer keys that also serve other products (UpgradeCodes\<packed upgrade code>,
//   UserData\<sid>\Components\<packed component code>): a whole key only while every value in it is
//   the product's, a value only when it is named by the packed product code, the key when empty.
// The service's key is left to the service manager. Files and folders: a folder only when it is
// deletable (no protected folder is it or lies in it) and holds no file kept for another product; a
// file only when it is not kept for another product, and lies in a deletable folder or is a shortcut
// (.lnk) or a cached installer package (.msi).
#include <string>

#include "app/RemovalJournal.h"
#include "app/Report.h"
#include "app/Profile.h"

namespace Quellor {

// The folders of the earlier targets' files and folders: the component pass looks for other
// products' files below them too.
PathList FoldersOfEarlierTargets(const EarlierJournals& earlier);

// Adds the earlier targets that are still there, pass the guards and are not planned already to
// `plan.resumedTargets`, and reports them, the ones refused and the journals ignored, on the console
// and in the log. `keptForOthers` are the files kept for other products' components. Prints nothing
// when no journal was found.
void TakeUpEarlierRemovals(Report& report, const Settings& profile, RemovalPlan& plan, const EarlierJournals& earlier,
                           const PathList& keptForOthers);

}  // namespace Quellor
