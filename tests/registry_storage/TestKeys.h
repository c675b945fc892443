#pragma once
// Raw registry helpers for tests: keys and values made and checked without the storage under test.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/UniqueResource.h"

namespace QuellorTest {

// "QuellorTest-<pid>": unique per test process.
std::wstring TestKeyName();

REGSAM ViewFlag(bool use64BitView);

Zento::Lithcore::UniqueRegKey CreateRawKey(HKEY root, const std::wstring& subKey, bool use64BitView);
bool RawKeyExists(HKEY root, const std::wstring& subKey, bool use64BitView);
void SetRawValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                 DWORD size, bool use64BitView);
void SetRawString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& text,
                  bool use64BitView);
bool RawValueExists(HKEY root, const std::wstring& subKey, const std::wstring& name, bool use64BitView);
// Size in bytes as the ANSI query reports it, or -1 when the value is missing.
long RawAnsiValueSize(HKEY root, const std::wstring& subKey, const std::wstring& name, bool use64BitView);
// Deletes the tree in the given view; a missing key is fine.
void DeleteRawTree(HKEY root, const std::wstring& subKey, bool use64BitView);
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
