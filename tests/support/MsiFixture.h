#pragma once
// Installs and uninstalls test .msi packages through msiexec, silently (no console, no captured output).
#include <windows.h>

#include <string>

namespace QuellorTest {

// Full Windows path of "<name>.msi" in the running test exe's folder (where the build puts test packages).
std::wstring PackageNextToExe(const std::wstring& name);

// msiexec /i "<path>" /qn; the full exit code, 0xFFFFFFFF when msiexec did not start or timed out.
DWORD InstallPackage(const std::wstring& msiPath);

// msiexec /x <product code> /qn; the full exit code (1605 when the product is not installed).
DWORD UninstallProduct(const std::wstring& productCode);

// One installed package for the life of the object: any earlier install of the product is removed first,
// so a crashed run leaves nothing behind for the next one.
class InstalledPackage {
public:
    InstalledPackage(const std::wstring& msiPath, const std::wstring& productCode);
    ~InstalledPackage();
    InstalledPackage(const InstalledPackage&) = delete;
    InstalledPackage& operator=(const InstalledPackage&) = delete;

    bool Installed() const { return installResult_ == ERROR_SUCCESS; }
    DWORD InstallResult() const { return installResult_; }
    const std::wstring& ProductCode() const { return productCode_; }

private:
    std::wstring productCode_;
    DWORD installResult_;
};

}  // namespace QuellorTest
