// FerrowPS / TerrionPS / NovexPS: in-process servers of the stand-in product, the proxies of its
// interfaces: each registers its class and the Interface keys whose ProxyStubClsid32 names it, and
// removes them again. NovexPS also registers an Interface key named by its own CLSID and, like the
// real product, leaves that one behind on unregistration: the removal tool deletes it itself.
#include <windows.h>

#include <vector>

#include "standin/ComRegistration.h"
#include "standin/StandinIds.h"

using Standin::InterfaceRegistration;

#if STANDIN_SERVER == 1
static const wchar_t* const kClsid = Standin::kFerrowPsClsid;
static const wchar_t* const kName = L"FerrowPS";
static const std::vector<InterfaceRegistration> kInterfaces = {{Standin::kFerrowIid, L"IFerrow", kClsid},
                                                               {Standin::kVentrelIid, L"IVentrel", kClsid}};
#elif STANDIN_SERVER == 2
static const wchar_t* const kClsid = Standin::kTerrionPsClsid;
static const wchar_t* const kName = L"TerrionPS";
static const std::vector<InterfaceRegistration> kInterfaces = {{Standin::kTerrionIid, L"ITerrion", kClsid}};
#elif STANDIN_SERVER == 3
static const wchar_t* const kClsid = Standin::kNovexPsClsid;
static const wchar_t* const kName = L"NovexPS";
static const std::vector<InterfaceRegistration> kInterfaces = {{Standin::kNovexIid, L"INovex", kClsid}};
#define STANDIN_WITH_LEFT_INTERFACE 1
#else
#error "STANDIN_SERVER must be 1 (FerrowPS), 2 (TerrionPS) or 3 (NovexPS)"
#endif

static HINSTANCE g_module = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    Standin::ClassRegistration registration;
    registration.clsid = kClsid;
    registration.name = kName;
    registration.kind = Standin::ServerKind::InProcServer;
    registration.server = Standin::ModulePath(g_module);
    bool ok = Standin::RegisterClass(registration) && Standin::RegisterInterfaces(kInterfaces);
#ifdef STANDIN_WITH_LEFT_INTERFACE
    ok = ok && Standin::RegisterInterfaces({{kClsid, L"INovex", kClsid}});
#endif
    return ok ? S_OK : E_FAIL;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    const bool interfaces = Standin::UnregisterInterfaces(kInterfaces);
    return Standin::UnregisterClass(kClsid) && interfaces ? S_OK : E_FAIL;
}
