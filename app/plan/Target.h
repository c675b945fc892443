#pragma once
// One target of the removal: a key, a value, a file or a folder, with the section of the log it is
// reported in. The plan, an earlier removal's journal and the admission rule all speak of targets.
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"

namespace Quellor {

using Zento::Lithcore::RegistryKeyAddress;
using Zento::Lithcore::RegistryView;

enum class TargetKind {
    Key,             // a key with its whole subtree
    KeyWhenEmpty,    // a key that goes only once nothing is left in it
    Value,           // one value of a key
    File,
    Folder,          // a folder with everything below it
    RemovedByOthers  // a key that a COM server's unregistration or the service manager removes
};

// Where a target's outcome is logged. The deletion walks the sections in this order.
enum class TargetSection {
    MachineKeys,
    UserKeys,
    MachineValues,
    SharedKeyValues,
    RemovedByOthers,
    InstallerPackages,
    StartMenuFolders,
    StartupShortcuts,
    DesktopShortcuts,
    UserSettingFolders,
    UserSettingFiles,
    InstallerInfoFolders,
    ProgramFiles,
};

struct Target {
    TargetKind kind;
    TargetSection section;
    std::wstring path;        // the key's full path, or the file's or folder's
    RegistryKeyAddress key;   // registry kinds only
    std::wstring valueName;   // Value only

    bool IsRegistry() const { return kind != TargetKind::File && kind != TargetKind::Folder; }
};

using TargetList = std::vector<Target>;

// What names one target, whatever list it came from: its kind, the path in upper case, the value.
std::wstring TargetIdentity(const Target& target);

}  // namespace Quellor
