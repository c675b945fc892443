#pragma once
// The information log: "infoLog_" + start time + ".txt" in the current folder, UTF-8 without a
// byte-order mark. A file of that name from an earlier run in the same second is never touched:
// the new log then takes the first free name with "_2", "_3", ... before ".txt".
#include <windows.h>

#include <string>

#include "settings/TextFile.h"

namespace Quellor {

std::wstring LogFileName(const SYSTEMTIME& time, int attempt);

// Throws RunError when no log can be created.
Zento::Lithcore::TextFile CreateInfoLog(const SYSTEMTIME& startTime);

}  // namespace Quellor
