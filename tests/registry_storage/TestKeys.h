#pragma once
// Raw registry helpers for tests: keys and values made and checked without the storage under test.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "registry/RegistryApi.h"

namespace QuellorTest {

using Zento::Lithcore::RegistryView;
using Zento::Lithcore::ViewFlag;

// "QuellorTest-<pid>": unique per test process.
std::wstring TestKeyName();

Zento::Lithcore::UniqueRegKey CreateRawKey(HKEY root, const std::wstring& subKey, RegistryView view);
bool RawKeyExists(HKEY root, const std::wstring& subKey, RegistryView view);
void SetRawValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                 DWORD size, RegistryView view);
void SetRawString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& text,
                  RegistryView view);
bool RawValueExists(HKEY root, const std::wstring& subKey, const std::wstring& name, RegistryView view);
// Deletes the tree in the given view; a missing key is fine.
void DeleteRawTree(HKEY root, const std::wstring& subKey, RegistryView view);
// The subkeys of HKEY_USERS (the loaded hives).
std::vector<std::wstring> UserHives();

// Removes the tree in both views now and again on destruction.
class ScopedTestKey {
public:
    ScopedTestKey(HKEY root, std::wstring subKey);
    ~ScopedTestKey();
    ScopedTestKey(const ScopedTestKey&) = delete;
    ScopedTestKey& operator=(const ScopedTestKey&) = delete;

private:
    void Remove() const;
    HKEY root_;
    std::wstring subKey_;
};

}  // namespace QuellorTest
