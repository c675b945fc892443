#pragma once
// A registry table for tests. It records every call the registry code makes with its access mask,
// and fails the running test when a key below a location that WOW64 redirects is opened or deleted
// without naming its view: Wine forgives that, 64-bit Windows does not.
#include <windows.h>

#include <string>
#include <vector>

#include "registry/RegistryApi.h"

namespace QuellorTest {

struct RegistryCall {
    std::string function;
    std::wstring path;  // full path, "?\..." below a handle the check did not see opened
    REGSAM access;
};

class RegistryViewCheck {
public:
    RegistryViewCheck();  // puts the checking table in place
    ~RegistryViewCheck();  // puts back the table it replaced
    RegistryViewCheck(const RegistryViewCheck&) = delete;
    RegistryViewCheck& operator=(const RegistryViewCheck&) = delete;

    const std::vector<RegistryCall>& Calls() const;

    // HKLM\Software, HKEY_CLASSES_ROOT and the users' Classes keys, with everything below them.
    static bool IsBelowRedirectedLocation(const std::wstring& path);

private:
    const Zento::Lithcore::System::RegistryApi* previous_;
};

}  // namespace QuellorTest
