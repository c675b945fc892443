#include <gtest/gtest.h>

#include "platform/UniqueResource.h"
#include "processes/Services.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

DWORD StateOf(const std::wstring& name) {
    DWORD state = 0;
    System::WindowsService(name).QueryState(state);
    return state;
}

bool WaitForState(const std::wstring& name, DWORD wanted, DWORD timeoutMs) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        if (StateOf(name) == wanted) return true;
        ::Sleep(50);
    }
    return false;
}

DWORD OpenServiceError(const std::wstring& name) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    UniqueServiceHandle service(::OpenServiceW(manager.Get(), name.c_str(), GENERIC_READ));
    return service ? 0 : ::GetLastError();
}

// A demand-start service of the helper program, under a name with blanks; removed again afterwards.
class TestService {
public:
    explicit TestService(DWORD stopDelayMs) : name_(L"Quellor Test Service " + UniqueName(L"")) {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const std::wstring binPath = L"\"" + HelperExePath() + L"\" --service --stop-delay " + std::to_wstring(stopDelayMs);
        UniqueServiceHandle service(::CreateServiceW(manager.Get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                     SERVICE_ERROR_NORMAL, binPath.c_str(), nullptr, nullptr, nullptr,
                                                     nullptr, nullptr));
        EXPECT_TRUE(service.IsValid()) << "CreateServiceW " << ::GetLastError();
    }
    ~TestService() {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        UniqueServiceHandle service(::OpenServiceW(manager.Get(), name_.c_str(), SERVICE_ALL_ACCESS));
        if (!service) return;
        SERVICE_STATUS status{};
        if (::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) WaitForState(name_, SERVICE_STOPPED, 15000);
        ::DeleteService(service.Get());
    }
    const std::wstring& Name() const { return name_; }

    void StartRunning() {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        UniqueServiceHandle service(::OpenServiceW(manager.Get(), name_.c_str(), SERVICE_ALL_ACCESS));
        ASSERT_TRUE(::StartServiceW(service.Get(), 0, nullptr)) << ::GetLastError();
        ASSERT_TRUE(WaitForState(name_, SERVICE_RUNNING, 15000));
    }

private:
    std::wstring name_;
};

}  // namespace

TEST(Services, RunningServiceIsStoppedThenDeletedAndThenUnknown) {
    TestService service(500);
    service.StartRunning();
    EXPECT_TRUE(StopServiceIfRunning(service.Name()));
    EXPECT_EQ(StateOf(service.Name()), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(UninstallServiceIfInstalled(service.Name()));
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(Services, UninstallStopsAServiceThatStillRunsBeforeDeletingIt) {
    TestService service(500);
    service.StartRunning();
    System::WindowsService windowsService(service.Name());
    EXPECT_TRUE(windowsService.Uninstall());
    EXPECT_EQ(windowsService.LastError(), L"The service is still running, disable it first");
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(Services, StopThatDoesNotFinishInTimeIsReportedAsFailure) {
    TestService service(4000);
    service.StartRunning();
    EXPECT_FALSE(StopServiceIfRunning(service.Name(), 300));
    // Already stopping: no second net.exe, but the wait for the end now succeeds.
    EXPECT_TRUE(StopServiceIfRunning(service.Name(), 15000));
    EXPECT_EQ(StateOf(service.Name()), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(Services, StoppedServiceNeedsNoStopAndIsDeletedAtOnce) {
    TestService service(500);
    EXPECT_TRUE(StopServiceIfRunning(service.Name()));
    System::WindowsService windowsService(service.Name());
    EXPECT_TRUE(windowsService.Uninstall());
    EXPECT_TRUE(windowsService.LastError().empty());
    EXPECT_FALSE(windowsService.IsInstalled());
}

TEST(Services, ServiceThatIsNotInstalled) {
    const std::wstring name = L"Quellor Absent Service " + UniqueName(L"");
    EXPECT_TRUE(StopServiceIfRunning(name));
    EXPECT_FALSE(UninstallServiceIfInstalled(name));
    System::WindowsService windowsService(name);
    EXPECT_FALSE(windowsService.Uninstall());
    EXPECT_EQ(windowsService.LastError(), L"Uninstall Failed: Service is not installed");
}
