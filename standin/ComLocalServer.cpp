// Ferrow / Ventrel / Novex: out-of-process COM servers of the stand-in product.
// /REGSERVER and /UNREGSERVER touch only this server's own registration; without arguments the
// server just stays alive, as the real one would while clients use it. Their LocalServer32 values
// take the forms real installers write: Ferrow's a quoted command line with an argument, Ventrel's
// its path in another letter case, Novex's the plain path.
#include <windows.h>

#include "standin/ComRegistration.h"
#include "standin/CommandLine.h"
#include "standin/StandinIds.h"

namespace {

#if STANDIN_SERVER == 1
const wchar_t* const kClsid = Standin::kFerrowClsid;
const wchar_t* const kAppId = Standin::kFerrowAppId;
const wchar_t* const kLibId = Standin::kFerrowLibId;
const wchar_t* const kName = L"Ferrow";
std::wstring ServerValue(const std::wstring& path) { return L"\"" + path + L"\" /automation"; }
#elif STANDIN_SERVER == 2
const wchar_t* const kClsid = Standin::kVentrelClsid;
const wchar_t* const kAppId = Standin::kVentrelAppId;
const wchar_t* const kLibId = Standin::kVentrelLibId;
const wchar_t* const kName = L"Ventrel";
std::wstring ServerValue(const std::wstring& path) { return Standin::WithUpperCaseFileName(path); }
#elif STANDIN_SERVER == 3
const wchar_t* const kClsid = Standin::kNovexClsid;
const wchar_t* const kAppId = Standin::kNovexAppId;
const wchar_t* const kLibId = Standin::kNovexLibId;
const wchar_t* const kName = L"Novex";
std::wstring ServerValue(const std::wstring& path) { return path; }
#else
#error "STANDIN_SERVER must be 1 (Ferrow), 2 (Ventrel) or 3 (Novex)"
#endif

bool IsSwitch(const std::wstring& argument, const wchar_t* name) {
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           Standin::EqualsIgnoringCase(argument.substr(1), name);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const auto arguments = Standin::CommandLineArguments();
    if (!arguments.empty() && IsSwitch(arguments[0], L"UNREGSERVER")) {
        // A server that never answers its unregistration, as a broken one may.
        if (::GetEnvironmentVariableW(L"STANDIN_UNREGSERVER_HANGS", nullptr, 0) != 0)
            for (;;) ::Sleep(INFINITE);
        if (!Standin::UnregisterClass(kClsid)) return 1;
        return static_cast<int>(Standin::UnregisterExitCodeFromEnvironment());
    }
    if (!arguments.empty() && IsSwitch(arguments[0], L"REGSERVER")) {
        const std::wstring path = Standin::ModulePath(nullptr);
        Standin::ClassRegistration registration;
        registration.clsid = kClsid;
        registration.name = kName;
        registration.server = ServerValue(path);
        registration.appId = kAppId;
        registration.vendor = Standin::kVendor;
        registration.typeLib = kLibId;
        registration.typeLibPath = path;
        return Standin::RegisterClass(registration) ? 0 : 1;
    }
    for (;;) ::Sleep(INFINITE);
}
