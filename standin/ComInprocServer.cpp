// FerrowPS / TerrionPS / NovexPS: in-process servers of the stand-in product.
// NovexPS registers an Interface key too but, like the real product, leaves it behind on
// unregistration: the removal tool deletes it itself.
#include <windows.h>

#include "standin/ComRegistration.h"
#include "standin/StandinIds.h"

#if STANDIN_SERVER == 1
static const wchar_t* const kClsid = Standin::kFerrowPsClsid;
#elif STANDIN_SERVER == 2
static const wchar_t* const kClsid = Standin::kTerrionPsClsid;
#elif STANDIN_SERVER == 3
static const wchar_t* const kClsid = Standin::kNovexPsClsid;
#define STANDIN_WITH_INTERFACE 1
#else
#error "STANDIN_SERVER must be 1 (FerrowPS), 2 (TerrionPS) or 3 (NovexPS)"
#endif

static HINSTANCE g_module = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    bool ok = Standin::RegisterClass(kClsid, Standin::ServerKind::InProcServer, Standin::ModulePath(g_module), L"");
#ifdef STANDIN_WITH_INTERFACE
    ok = ok && Standin::RegisterInterface(kClsid, kClsid);
#endif
    return ok ? S_OK : E_FAIL;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return Standin::UnregisterClass(kClsid) ? S_OK : E_FAIL;
}
