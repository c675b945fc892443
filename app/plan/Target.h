#pragma once
// One target of the removal: a process to end, the service or a COM server to unregister, a key, a
// value, a file or a folder, with the section it is executed and reported in. The plan, an earlier
// removal's journal and the admission rule all speak of targets.
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"

namespace Quellor {

using Zento::Lithcore::RegistryKeyAddress;
using Zento::Lithcore::RegistryView;

enum class TargetKind {
    Process,         // every process that runs the program at `path`, ended before anything is deleted
    Service,         // the service named `valueName`, deleted through the service manager; `key` is its key
    ComServer,       // the server file at `path` of the CLSID `valueName`, unregistered; `key` is its CLSID key
    Key,             // a key with its whole subtree
    KeyWhenEmpty,    // a key that goes only once nothing is left in it
    Value,           // one value of a key
    File,
    Folder,          // a folder with everything below it
    RemovedByOthers  // a key that a COM server's unregistration or the service manager removes
};

// Where a target's outcome is logged. The deletion walks the sections in this order.
enum class TargetSection {
    Processes,
    Services,
    ComServers,
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
    std::wstring path;        // the key's full path, or the file's, folder's or program's
    RegistryKeyAddress key;   // registry kinds, the service and a COM server
    std::wstring valueName;   // Value: its name; the service's name; a COM server's CLSID

    // Processes, the service and COM servers are ended or unregistered before the first deletion; what
    // they leave is checked as the keys and files listed beside them.
    bool IsStep() const {
        return kind == TargetKind::Process || kind == TargetKind::Service || kind == TargetKind::ComServer;
    }
    bool IsRegistry() const { return !IsStep() && kind != TargetKind::File && kind != TargetKind::Folder; }
};

using TargetList = std::vector<Target>;

// What names one target, whatever list it came from: its kind, the path in upper case, the value.
std::wstring TargetIdentity(const Target& target);

}  // namespace Quellor
