#include <gtest/gtest.h>

#include "platform/UniqueResource.h"
#include "processes/Services.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

DWORD StateOf(const std::wstring& name) {
    DWORD state = 0;
    return QueryServiceState(name, state).Succeeded() ? state : 0;
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
    explicit TestService(DWORD stopDelayMs, DWORD exitDelayMs = 0) : name_(L"Quellor Test Service " + UniqueName(L"")) {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const std::wstring binPath = L"\"" + HelperExePath() + L"\" --service --stop-delay " + std::to_wstring(stopDelayMs) +
                                     L" --exit-delay " + std::to_wstring(exitDelayMs);
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

TEST(Services, RunningServiceIsStoppedThenDeletedAndThenAlreadyGone) {
    TestService service(500);
    service.StartRunning();
    EXPECT_TRUE(StopServiceIfRunning(service.Name()).Succeeded());
    EXPECT_EQ(StateOf(service.Name()), static_cast<DWORD>(SERVICE_STOPPED));
    const ServiceRemovalResult removed = UninstallServiceIfInstalled(service.Name());
    EXPECT_TRUE(removed.result.Succeeded()) << removed.result.Error();
    EXPECT_EQ(removed.outcome, ServiceRemoval::Deleted);
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    const ServiceRemovalResult again = UninstallServiceIfInstalled(service.Name());
    EXPECT_TRUE(again.result.Succeeded());
    EXPECT_EQ(again.outcome, ServiceRemoval::AlreadyGone);
    EXPECT_TRUE(StopServiceIfRunning(service.Name()).Succeeded());
}

TEST(Services, UninstallStopsAServiceThatStillRunsBeforeDeletingIt) {
    TestService service(500);
    service.StartRunning();
    EXPECT_TRUE(UninstallServiceIfInstalled(service.Name()).result.Succeeded());
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(Services, StopThatDoesNotFinishInTimeIsReportedAsFailure) {
    TestService service(4000);
    service.StartRunning();
    EXPECT_EQ(StopServiceIfRunning(service.Name(), 300).Error(), static_cast<DWORD>(WAIT_TIMEOUT));
    // Already stopping: no second net.exe, but the wait for the end now succeeds.
    EXPECT_TRUE(StopServiceIfRunning(service.Name(), 15000).Succeeded());
    EXPECT_EQ(StateOf(service.Name()), static_cast<DWORD>(SERVICE_STOPPED));
}

// A service deleted while someone else keeps a handle to it stays marked until that handle closes (on
// Windows until the next restart): it is removed as far as this run can remove it.
TEST(Services, ServiceAlreadyMarkedForDeletionCountsAsRemoved) {
    TestService service(500);
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle held(::OpenServiceW(manager.Get(), service.Name().c_str(), SERVICE_ALL_ACCESS));
    ASSERT_TRUE(::DeleteService(held.Get())) << ::GetLastError();
    const ServiceRemovalResult removed = UninstallServiceIfInstalled(service.Name(), 2000);
    EXPECT_TRUE(removed.result.Succeeded()) << removed.result.Error();
    EXPECT_EQ(removed.outcome, ServiceRemoval::MarkedForDeletion);
}

// The service manager removes a deleted service (and its key) only when its process has ended, which
// may come a while after the stopped state: the removal waits for it, within its bound.
TEST(Services, DeletedServiceWhoseProcessLingersIsGoneWhenUninstallReturns) {
    TestService service(200, 3000);
    service.StartRunning();
    EXPECT_TRUE(StopServiceIfRunning(service.Name()).Succeeded());
    const ServiceRemovalResult removed = UninstallServiceIfInstalled(service.Name());
    EXPECT_TRUE(removed.result.Succeeded()) << removed.result.Error();
    EXPECT_EQ(removed.outcome, ServiceRemoval::Deleted);
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// One that someone else still holds open is not waited for beyond the bound: it stays marked.
TEST(Services, DeletedServiceThatStaysOpenElsewhereCountsAsMarkedForDeletion) {
    TestService service(200);
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle held(::OpenServiceW(manager.Get(), service.Name().c_str(), SERVICE_QUERY_STATUS));
    ASSERT_TRUE(held.IsValid()) << ::GetLastError();
    const ServiceRemovalResult removed = UninstallServiceIfInstalled(service.Name(), 2000);
    EXPECT_TRUE(removed.result.Succeeded()) << removed.result.Error();
    EXPECT_EQ(removed.outcome, ServiceRemoval::MarkedForDeletion);
}

TEST(Services, NetRunsInTheSystemFolder) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const ProcessStartInfo info = NetCommandStartInfo(L"stop", L"A B");
    EXPECT_EQ(info.program, std::wstring(system) + L"\\net.exe");
    EXPECT_EQ(info.arguments, L"stop \"A B\"");
    EXPECT_EQ(info.workingFolder, system);
    EXPECT_TRUE(info.hidden);
}

TEST(Services, StoppedServiceNeedsNoStopAndIsDeletedAtOnce) {
    TestService service(500);
    EXPECT_TRUE(StopServiceIfRunning(service.Name()).Succeeded());
    EXPECT_EQ(UninstallServiceIfInstalled(service.Name()).outcome, ServiceRemoval::Deleted);
    EXPECT_EQ(OpenServiceError(service.Name()), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}
