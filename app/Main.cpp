#include "app/Run.h"
#include "platform/DllSearchPath.h"

int wmain(int argc, wchar_t** argv) {
    // Before anything can load a library by bare name.
    Zento::Lithcore::RestrictDllSearchToSystemFolder();
    return Quellor::RunRemovalGuarded(argc, argv);
}
