#pragma once
#include <string>

#include "app/Report.h"

namespace Quellor {

// The yes/no dialogue: 0 to continue, -1 to end. End of input counts as N.
int AskToContinue(Report& report, const std::wstring& question);

}  // namespace Quellor
