#pragma once
#include <string>

#include "app/Profile.h"
#include "app/Report.h"

namespace Quellor {

// Collection (phases 1-12) and confirmation and removal (phases 13-18) of the resolved product code.
int RunPhases(Report& report, const Settings& profile, const std::wstring& productCode);

}  // namespace Quellor
