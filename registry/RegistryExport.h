#pragma once
// The text of a registry backup in regedit's format ("Windows Registry Editor Version 5.00"), read
// key by key in each key's view. Key paths are written as given, so a key of the 32-bit view listed
// with its Wow6432Node spelling is restored into that view by `reg import file /reg:64`.
#include <set>
#include <string>
#include <vector>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

struct RegistryValueData {
    std::wstring name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// One value line, CR LF ended: "name"="text", dword:..., or hex(n):... with regedit's line wrapping.
std::wstring RegFileValueLine(const RegistryValueData& value);

class RegistryExport {
public:
    // The key with its values and its whole subtree. ERROR_FILE_NOT_FOUND (nothing written) when it is absent.
    [[nodiscard]] LONG AddKeyTree(const RegistryKeyAddress& address);
    // One value under its key's heading. ERROR_FILE_NOT_FOUND (nothing written) when it is absent.
    [[nodiscard]] LONG AddValue(const RegistryKeyAddress& address, const std::wstring& valueName);

    // The header, then every section in the order added; CR LF line ends.
    std::wstring Text() const;
    bool Empty() const { return sections_.empty(); }

private:
    LONG AddKey(HKEY key, const std::wstring& path, RegistryView view, int depth);

    std::vector<std::wstring> sections_;
    std::set<std::wstring> keysWritten_;
};

}  // namespace Zento::Lithcore
