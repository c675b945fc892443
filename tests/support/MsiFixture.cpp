#include "tests/support/MsiFixture.h"

#include "tests/support/TestSupport.h"

#include "platform/UniqueResource.h"

namespace QuellorTest {

namespace {

using Zento::Lithcore::UniqueHandle;

constexpr DWORD kMsiexecTimeoutMs = 120000;
constexpr DWORD kNotRun = 0xFFFFFFFF;

// Not through RunChild: msiexec may start installer services that inherit its output pipe and outlive it, so a
// reader waiting for the end of that pipe would wait forever. msiexec /qn writes nothing worth capturing.
DWORD RunMsiexec(const std::wstring& arguments) {
    std::wstring commandLine = L"msiexec.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info))
        return kNotRun;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    if (::WaitForSingleObject(process.Get(), kMsiexecTimeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), kNotRun);
        ::WaitForSingleObject(process.Get(), 5000);
        return kNotRun;
    }
    DWORD exitCode = kNotRun;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
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
