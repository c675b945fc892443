#pragma once
// What the collection phases found, handed to the removal phases.
#include <map>
#include <string>
#include <vector>

#include "app/RemovalTargets.h"
#include "processes/Processes.h"
#include "registry/RegistryStorage.h"

namespace Quellor {

using Zento::Lithcore::PathList;
using WideMap = std::map<std::wstring, std::wstring>;

// Inserts without replacing: an existing key keeps its first value.
inline void InsertFirst(WideMap& map, const std::wstring& key, const std::wstring& value) { map.emplace(key, value); }

struct RemovalPlan {
    std::wstring productCode;
    std::wstring displayName;
    std::vector<PathList> hklmKeyLists;
    std::vector<PathList> hkuKeyLists;
    WideMap hklmValueEntries;
    PathList installerPackages;
    PathList sharedComponentPaths;
    WideMap sharedByPath;
    WideMap ownByPath;
    WideMap serverToClsid;
    WideMap clsidToServer;
    WideMap clsidToKey;
    std::map<std::wstring, bool> unregister;
    PathList programFolders;
    PathList startMenuFolders;
    PathList commonStartMenuFolders;
    PathList startupShortcuts;
    PathList commonStartupShortcuts;
    PathList desktopShortcuts;
    PathList commonDesktopShortcuts;
    PathList userSettingFolders;
    PathList userSettingFiles;
    PathList installerInfoFolders;
    std::wstring ferrowExePath;

    // Typed targets beyond the key lists above; deleted after them, values before keys.
    std::vector<ValueTarget> valueTargets;
    std::vector<KeyTarget> keyTargets;

    // Completed before the confirmation question (the removal phases' own planning step).
    PathList interfaceKeys;        // the NovexPS Interface key, deleted with the machine keys
    PathList comRegistrationKeys;  // CLSID keys that the servers' unregistration removes
    PathList serviceKeys;          // the service's key, which the service manager removes
    PathList programFolderTargets;  // the product's folders to delete (step 8), shared files spared
    PathList programFileTargets;   // files beside the shared ones
    std::vector<Zento::Lithcore::Process> processes;

    // Carried from one collection phase to a later one.
    PathList componentPaths;  // phase 4 → phase 6
    PathList settingsNames;   // phase 6 → phase 9
    std::wstring installSubPath;

    bool Unregisters(const std::wstring& clsid) const {
        auto found = unregister.find(clsid);
        return found != unregister.end() && found->second;
    }
};

}  // namespace Quellor
