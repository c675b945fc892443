// The stand-in product's binaries, as the removal tool's tests rely on them: the resident
// components' status block, windows, mutexes and stop messages; the COM servers'
// self-registration; the service's slow stop.
#include <windows.h>

#include <gtest/gtest.h>


#include <string>

#include "platform/UniqueResource.h"
#include "tests/support/TestSupport.h"

using Zento::Lithcore::UniqueMappedView;
using Zento::Lithcore::UniqueRegKey;
using Zento::Lithcore::UniqueServiceHandle;
using Zento::Lithcore::UniqueHandle;

namespace {

const std::wstring kBin = QuellorTest::HostPathToWindows(STANDIN_BIN_DIR);

std::wstring Unique(const std::wstring& stem) {
    static int counter = 0;
    return stem + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

struct StatusBlock {
    UniqueHandle mapping;
    UniqueMappedView view;
    explicit StatusBlock(const std::wstring& name)
        : mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, name.c_str())),
          view(::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0)) {}
    DWORD& At(int offset) { return *reinterpret_cast<DWORD*>(static_cast<BYTE*>(view.Get()) + offset); }
};

// A resident component started with a ready event; killed at the end if it is still running.
class Component {
public:
    Component(const std::wstring& exe, const std::wstring& options) {
        const std::wstring ready = Unique(L"StandinTestReady");
        UniqueHandle readyEvent(::CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
        std::wstring commandLine = L"\"" + kBin + L"\\" + exe + L"\" --ready-event " + ready + L" " + options;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info)) {
            process_.Reset(info.hProcess);
            UniqueHandle thread(info.hThread);
            HANDLE waits[] = {readyEvent.Get(), process_.Get()};
            ready_ = ::WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0;
        }
    }
    ~Component() {
        if (IsRunning()) ::TerminateProcess(process_.Get(), 99);
    }
    bool Ready() const { return ready_; }
    bool IsRunning() const { return process_.IsValid() && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    bool Ends(DWORD& exitCode) const {
        if (::WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) return false;
        return ::GetExitCodeProcess(process_.Get(), &exitCode) != FALSE;
    }
    void Kill() const {
        ::TerminateProcess(process_.Get(), 99);
        ::WaitForSingleObject(process_.Get(), 10000);
    }

private:
    UniqueHandle process_;
    bool ready_ = false;
};

// Whether someone else holds the named mutex right now (it exists and cannot be taken).
bool IsHeldElsewhere(const std::wstring& name) {
    UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    return mutex.IsValid() && ::WaitForSingleObject(mutex.Get(), 0) == WAIT_TIMEOUT;
}

// A handle of our own keeps the mutex alive after its holder ended.
UniqueHandle OpenMutexToWatch(const std::wstring& name) {
    return UniqueHandle(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
}

DWORD WaitResult(const UniqueHandle& mutex) {
    const DWORD result = ::WaitForSingleObject(mutex.Get(), 5000);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex.Get());
    return result;
}

// A component logs a message once it has handled it, which on a busy machine may take a while.
std::string WaitForLog(const std::wstring& log, const std::string& expected) {
    std::string text;
    for (int waited = 0; waited < 10000; waited += 50) {
        text = QuellorTest::ReadFileBytes(log);
        if (text == expected) break;
        ::Sleep(50);
    }
    return text;
}

bool IsTopLevelWindow(DWORD value) {
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
    return ::IsWindow(window) && ::GetAncestor(window, GA_PARENT) == ::GetDesktopWindow();
}

TEST(VitraComponent, CarePublishesItsWindowHoldsItsMutexAndStopsOnWmUserPlusOne) {
    const std::wstring mapping = Unique(L"StandinTestBlock");
    const std::wstring mutex = Unique(L"StandinTestCare");
    QuellorTest::ScratchFolder folder;
    const std::wstring log = folder / L"care.log";
    StatusBlock block(mapping);
    block.At(4) = 0x4444;  // other components' slots and the status must stay untouched
    block.At(8) = 0x8888;

    Component care(L"VitraCare.exe", L"--mapping " + mapping + L" --mutex " + mutex + L" --log \"" + log + L"\"");
    ASSERT_TRUE(care.Ready());
    EXPECT_TRUE(IsTopLevelWindow(block.At(0)));
    EXPECT_TRUE(IsHeldElsewhere(mutex));
    EXPECT_EQ(block.At(12), 0u);

    UniqueHandle watched = OpenMutexToWatch(mutex);
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(block.At(0)));
    ASSERT_TRUE(::PostMessageW(window, WM_USER + 1, 0, 0));
    DWORD exitCode = 1;
    ASSERT_TRUE(care.Ends(exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(block.At(0), 0u);
    EXPECT_EQ(block.At(4), 0x4444u);
    EXPECT_EQ(block.At(8), 0x8888u);
    EXPECT_EQ(WaitResult(watched), WAIT_OBJECT_0);  // released, not abandoned
    EXPECT_EQ(QuellorTest::ReadFileBytes(log), "WM_USER+1\r\n");
}

TEST(VitraComponent, ResidentIgnoresWmUserPlusOneAndStopsOnCommand40011) {
    const std::wstring mapping = Unique(L"StandinTestBlock");
    const std::wstring mutex = Unique(L"StandinTestResident");
    QuellorTest::ScratchFolder folder;
    const std::wstring log = folder / L"resident.log";
    StatusBlock block(mapping);

    Component resident(L"VitraResident.exe",
                       L"--mapping " + mapping + L" --mutex " + mutex + L" --log \"" + log + L"\"");
    ASSERT_TRUE(resident.Ready());
    EXPECT_EQ(block.At(0), 0u);
    ASSERT_TRUE(IsTopLevelWindow(block.At(8)));
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(block.At(8)));

    ::PostMessageW(window, WM_USER + 1, 0, 0);
    ::PostMessageW(window, WM_COMMAND, 40010, 0);
    ::Sleep(300);
    EXPECT_TRUE(resident.IsRunning());
    EXPECT_TRUE(IsHeldElsewhere(mutex));

    UniqueHandle watched = OpenMutexToWatch(mutex);
    ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, 40011, 0));
    DWORD exitCode = 1;
    ASSERT_TRUE(resident.Ends(exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(block.At(8), 0u);
    EXPECT_EQ(WaitResult(watched), WAIT_OBJECT_0);
    EXPECT_EQ(QuellorTest::ReadFileBytes(log), "WM_COMMAND 40011\r\n");
}

TEST(VitraComponent, IgnoreStopLogsButKeepsEveryMutexAndItsSlot) {
    const std::wstring mapping = Unique(L"StandinTestBlock");
    const std::wstring first = Unique(L"StandinTestSettingA");
    const std::wstring second = Unique(L"StandinTestSettingB");
    QuellorTest::ScratchFolder folder;
    const std::wstring log = folder / L"setting.log";
    StatusBlock block(mapping);

    Component setting(L"VitraSetting.exe", L"--mapping " + mapping + L" --mutex " + first + L" --mutex " + second +
                                               L" --status 6 --ignore-stop --log \"" + log + L"\"");
    ASSERT_TRUE(setting.Ready());
    EXPECT_EQ(block.At(12), 6u);
    ASSERT_TRUE(IsTopLevelWindow(block.At(4)));
    ::PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(block.At(4))), WM_USER + 1, 0, 0);
    EXPECT_EQ(WaitForLog(log, "WM_USER+1\r\n"), "WM_USER+1\r\n");

    EXPECT_TRUE(setting.IsRunning());
    EXPECT_NE(block.At(4), 0u);
    EXPECT_TRUE(IsHeldElsewhere(first));
    EXPECT_TRUE(IsHeldElsewhere(second));

    UniqueHandle watched = OpenMutexToWatch(first);
    setting.Kill();
    EXPECT_EQ(WaitResult(watched), WAIT_ABANDONED);
}

struct RoleDefaults {
    const wchar_t* exe;
    const wchar_t* mutex;
    int slot;
};

class VitraDefaults : public ::testing::TestWithParam<RoleDefaults> {};

TEST_P(VitraDefaults, WithoutMutexOptionHoldsTheRolesDefaultMutex) {
    const RoleDefaults role = GetParam();
    const std::wstring mapping = Unique(L"StandinTestBlock");
    StatusBlock block(mapping);
    Component component(role.exe, L"--mapping " + mapping);
    ASSERT_TRUE(component.Ready());
    EXPECT_TRUE(IsHeldElsewhere(role.mutex));
    EXPECT_NE(block.At(role.slot), 0u);
}

INSTANTIATE_TEST_SUITE_P(Roles, VitraDefaults,
                         ::testing::Values(RoleDefaults{L"VitraCare.exe", L"Global\\Zentoral_Vitra_Care", 0},
                                           RoleDefaults{L"VitraSetting.exe", L"Zentoral_Vitra_Setting", 4},
                                           RoleDefaults{L"VitraResident.exe", L"Zentoral_Vitra_Regident", 8}));

// --- COM self-registration -----------------------------------------------------------------
const wchar_t kFerrow[] = L"{0F176F16-C1BE-51d9-2826-B6641F4C4C3A}";
const wchar_t kVentrel[] = L"{97F7CD52-5C94-9b4c-8F6A-82C822B3D6E0}";
const wchar_t kNovex[] = L"{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}";
const wchar_t kVentrelAppId[] = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A52}";
const wchar_t kFerrowPs[] = L"{C10CE499-BEAA-FC65-979B-6227A97255C2}";
const wchar_t kNovexPs[] = L"{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}";
const wchar_t kVentrelLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E62}";
const wchar_t kNovexLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E63}";
const wchar_t kFerrowIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E61}";
const wchar_t kVentrelIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E62}";
const wchar_t kNovexIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E63}";

bool KeyExists(const std::wstring& path) {
    UniqueRegKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::wstring DefaultValue(const std::wstring& path) {
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"";
    return text;
}

void DeleteClassesKey(const std::wstring& path) { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str()); }

DWORD RunServer(const std::wstring& exe, const std::wstring& argument) {
    return QuellorTest::RunChild(L"\"" + kBin + L"\\" + exe + L"\" " + argument, L"", "", 20000).exitCode;
}

class ComServers : public ::testing::Test {
protected:
    void TearDown() override {
        for (const wchar_t* clsid : {kFerrow, kVentrel, kNovex, kFerrowPs, kNovexPs})
            DeleteClassesKey(std::wstring(L"CLSID\\") + clsid);
        for (const wchar_t* id : {L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A51}", kVentrelAppId,
                                  L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A53}"})
            DeleteClassesKey(std::wstring(L"AppID\\") + id);
        for (const wchar_t* iid : {kNovexPs, kFerrowIid, kVentrelIid, kNovexIid})
            DeleteClassesKey(std::wstring(L"Interface\\") + iid);
        for (const wchar_t* name : {L"ZEKT.Ferrow", L"ZEKT.Ferrow.1", L"ZEKT.Ventrel", L"ZEKT.Ventrel.1", L"ZEKT.Novex",
                                    L"ZEKT.Novex.1"})
            DeleteClassesKey(name);
        for (const wchar_t* libId : {L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E61}", kVentrelLibId, kNovexLibId})
            DeleteClassesKey(std::wstring(L"TypeLib\\") + libId);
        ::SetEnvironmentVariableW(L"STANDIN_UNREGSERVER_EXIT_CODE", nullptr);
    }
};

TEST_F(ComServers, UnregserverRemovesOnlyItsOwnRegistrationAndExitsWithTheConfiguredCode) {
    for (const wchar_t* exe : {L"Ferrow_klq_1_0_0.exe", L"Ventrel.exe", L"Novex.exe"})
        ASSERT_EQ(RunServer(exe, L"/REGSERVER"), 0u) << QuellorTest::Utf8(exe);
    const std::wstring ventrel = std::wstring(L"CLSID\\") + kVentrel;
    EXPECT_EQ(DefaultValue(std::wstring(L"CLSID\\") + kFerrow + L"\\LocalServer32"),
              L"\"" + kBin + L"\\Ferrow_klq_1_0_0.exe\" /automation");
    EXPECT_EQ(DefaultValue(ventrel + L"\\LocalServer32"), kBin + L"\\VENTREL.EXE");
    EXPECT_EQ(DefaultValue(ventrel + L"\\ProgID"), L"ZEKT.Ventrel.1");
    EXPECT_EQ(DefaultValue(L"ZEKT.Ventrel\\CurVer"), L"ZEKT.Ventrel.1");
    EXPECT_EQ(DefaultValue(L"ZEKT.Ventrel.1\\CLSID"), kVentrel);
    EXPECT_EQ(DefaultValue(ventrel + L"\\TypeLib"), kVentrelLibId);
    EXPECT_EQ(DefaultValue(std::wstring(L"TypeLib\\") + kVentrelLibId + L"\\1.0\\0\\win32"), kBin + L"\\Ventrel.exe");

    ::SetEnvironmentVariableW(L"STANDIN_UNREGSERVER_EXIT_CODE", L"1234");
    EXPECT_EQ(RunServer(L"Ventrel.exe", L"/UNREGSERVER"), 1234u);
    for (const std::wstring& gone : {ventrel, std::wstring(L"ZEKT.Ventrel"), std::wstring(L"ZEKT.Ventrel.1"),
                                     std::wstring(L"TypeLib\\") + kVentrelLibId})
        EXPECT_FALSE(KeyExists(gone)) << QuellorTest::Utf8(gone);
    for (const std::wstring& kept : {std::wstring(L"CLSID\\") + kFerrow, std::wstring(L"CLSID\\") + kNovex,
                                     std::wstring(L"ZEKT.Novex.1"), std::wstring(L"TypeLib\\") + kNovexLibId})
        EXPECT_TRUE(KeyExists(kept)) << QuellorTest::Utf8(kept);
    EXPECT_TRUE(KeyExists(std::wstring(L"AppID\\") + kVentrelAppId));  // the removal tool deletes AppIDs

    ::SetEnvironmentVariableW(L"STANDIN_UNREGSERVER_EXIT_CODE", nullptr);
    EXPECT_EQ(RunServer(L"Novex.exe", L"/UNREGSERVER"), 0u);
    EXPECT_EQ(RunServer(L"Novex.exe", L"/UNREGSERVER"), 0u);  // already gone still counts as done
}

using DllEntry = HRESULT(WINAPI*)();

HRESULT CallExport(const std::wstring& dll, const char* name) {
    Zento::Lithcore::UniqueModule module(
        ::LoadLibraryExW((kBin + L"\\" + dll).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) return E_UNEXPECTED;
    FARPROC entry = ::GetProcAddress(module.Get(), name);
    if (entry == nullptr) return E_UNEXPECTED;
    return reinterpret_cast<DllEntry>(reinterpret_cast<void*>(entry))();
}

TEST_F(ComServers, ProxyDllsUnregisterTheirClassAndInterfacesAndNovexPsLeavesItsOwnInterfaceKey) {
    ASSERT_EQ(CallExport(L"FerrowPS.dll", "DllRegisterServer"), S_OK);
    ASSERT_EQ(CallExport(L"NovexPS.dll", "DllRegisterServer"), S_OK);
    EXPECT_EQ(DefaultValue(std::wstring(L"CLSID\\") + kNovexPs + L"\\InProcServer32"), kBin + L"\\NovexPS.dll");
    EXPECT_TRUE(KeyExists(std::wstring(L"Interface\\") + kNovexPs));
    EXPECT_EQ(DefaultValue(std::wstring(L"Interface\\") + kNovexIid + L"\\ProxyStubClsid32"), kNovexPs);
    EXPECT_EQ(DefaultValue(std::wstring(L"Interface\\") + kVentrelIid + L"\\ProxyStubClsid32"), kFerrowPs);

    EXPECT_EQ(CallExport(L"NovexPS.dll", "DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + kNovexPs));
    EXPECT_FALSE(KeyExists(std::wstring(L"Interface\\") + kNovexIid));
    EXPECT_TRUE(KeyExists(std::wstring(L"Interface\\") + kNovexPs));
    EXPECT_TRUE(KeyExists(std::wstring(L"CLSID\\") + kFerrowPs));
    EXPECT_TRUE(KeyExists(std::wstring(L"Interface\\") + kFerrowIid));
}

// --- service -------------------------------------------------------------------------------
DWORD QueryState(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    return ::QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (QueryState(service) == state) return true;
        ::Sleep(50);
    }
    return QueryState(service) == state;
}

TEST(TerrionService, StaysStopPendingForTheStopDelayThenStops) {
    const std::wstring name = Unique(L"Standin Test Terrion");
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    const std::wstring binPath = L"\"" + kBin + L"\\TerrionService.exe\" --stop-delay 1500";
    UniqueServiceHandle service(::CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                 SERVICE_ERROR_NORMAL, binPath.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr, nullptr));
    ASSERT_TRUE(service);
    ASSERT_TRUE(::StartServiceW(service.Get(), 0, nullptr));
    EXPECT_TRUE(WaitForState(service.Get(), SERVICE_RUNNING, 10000));

    SERVICE_STATUS status = {};
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    ::Sleep(300);
    EXPECT_EQ(QueryState(service.Get()), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_TRUE(WaitForState(service.Get(), SERVICE_STOPPED, 10000));
    EXPECT_GE(::GetTickCount() - start, 1400u);

    ::DeleteService(service.Get());
}

}  // namespace
