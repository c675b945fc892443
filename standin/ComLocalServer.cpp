// Ferrow / Ventrel / Novex: out-of-process COM servers of the stand-in product.
// /REGSERVER and /UNREGSERVER touch only this server's own CLSID key; without arguments the
// server just stays alive, as the real one would while clients use it.
#include <windows.h>

#include "standin/ComRegistration.h"
#include "standin/CommandLine.h"
#include "standin/StandinIds.h"

#if STANDIN_SERVER == 1
static const wchar_t* const kClsid = Standin::kFerrowClsid;
static const wchar_t* const kAppId = Standin::kFerrowAppId;
#elif STANDIN_SERVER == 2
static const wchar_t* const kClsid = Standin::kVentrelClsid;
static const wchar_t* const kAppId = Standin::kVentrelAppId;
#elif STANDIN_SERVER == 3
static const wchar_t* const kClsid = Standin::kNovexClsid;
static const wchar_t* const kAppId = Standin::kNovexAppId;
#else
#error "STANDIN_SERVER must be 1 (Ferrow), 2 (Ventrel) or 3 (Novex)"
#endif

namespace {

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
        return Standin::RegisterClass(kClsid, Standin::ServerKind::LocalServer, Standin::ModulePath(nullptr), kAppId)
                   ? 0
                   : 1;
    }
    for (;;) ::Sleep(INFINITE);
}
