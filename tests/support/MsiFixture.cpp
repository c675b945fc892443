#include "tests/support/MsiFixture.h"

#include "tests/support/TestSupport.h"

namespace QuellorTest {

namespace {

constexpr DWORD kMsiexecTimeoutMs = 120000;

DWORD RunMsiexec(const std::wstring& arguments) {
    ChildResult child = RunChild(L"msiexec.exe " + arguments, L"", "", kMsiexecTimeoutMs);
    if (!child.started || child.timedOut) return 0xFFFFFFFF;
    return child.exitCode;
}

}  // namespace

std::wstring PackageNextToExe(const std::wstring& name) { return ExeFolder() + L"\\" + name + L".msi"; }

DWORD InstallPackage(const std::wstring& msiPath) { return RunMsiexec(L"/i \"" + msiPath + L"\" /qn"); }

DWORD UninstallProduct(const std::wstring& productCode) { return RunMsiexec(L"/x " + productCode + L" /qn"); }

InstalledPackage::InstalledPackage(const std::wstring& msiPath, const std::wstring& productCode)
    : productCode_(productCode) {
    UninstallProduct(productCode_);
    installResult_ = InstallPackage(msiPath);
}

InstalledPackage::~InstalledPackage() { UninstallProduct(productCode_); }

}  // namespace QuellorTest
