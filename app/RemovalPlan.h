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

// The target's own value in a key that also serves another product: the removal deletes the value, then
// the key only when it holds no value and no subkey any more.
struct OwnValueInSharedKey {
    std::wstring keyPath;    // full key path ending in "\", below HKEY_LOCAL_MACHINE or HKEY_USERS
    std::wstring valueName;  // the target's packed product code as the registry spells it
};

// Something the removal leaves in place because another installed product uses it.
struct SparedItem {
    std::wstring item;  // a key path, a file path, a COM registration or the service
    PathList keptFor;   // the products that keep it (braced codes, or the value names that name them)
};

struct RemovalPlan {
    std::wstring productCode;
    std::wstring displayName;
    std::vector<PathList> hklmKeyLists;
    std::vector<PathList> hkuKeyLists;
    WideMap hklmValueEntries;
    PathList installerPackages;
    PathList sharedComponentPaths;
    PathList sharedWithoutPath;  // shared components whose path could not be read: no program folder is deleted
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

    // Completed before the confirmation question (the removal phases' own planning step).
    PathList interfaceKeys;        // the NovexPS Interface key, deleted with the machine keys
    PathList comRegistrationKeys;  // CLSID keys that the servers' unregistration removes
    PathList serviceKeys;          // the service's key, which the service manager removes
    PathList programFolderTargets;  // the product's folders to delete (step 8), shared files spared
    PathList programFileTargets;   // files beside the shared ones
    std::vector<Zento::Lithcore::Process> processes;
    // Installer keys shared with other products (phases 3 and 4): only the target's value goes, and the
    // key only once nothing is left in it (a value target and a key target "only when empty").
    std::vector<OwnValueInSharedKey> ownValuesInSharedKeys;
    // Left for other products (phases 3-5): reported, never removed.
    std::vector<SparedItem> spared;

    // Carried from one collection phase to a later one.
    PathList componentPaths;  // phase 4 → phase 6
    PathList sharedComponentCodes;  // phase 4 → the shared components' keys and keepers
    PathList settingsNames;   // phase 6 → phase 9
    std::wstring installSubPath;

    bool Unregisters(const std::wstring& clsid) const {
        auto found = unregister.find(clsid);
        return found != unregister.end() && found->second;
    }
};

}  // namespace Quellor
