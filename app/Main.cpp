#include "app/Run.h"

int wmain(int argc, wchar_t** argv) { return Quellor::RunRemovalGuarded(argc, argv); }
