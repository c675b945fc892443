#pragma once
#include <string>

#include "app/Report.h"

namespace Quellor {

// The yes/no dialogue: 0 to continue, -1 to end. End of input counts as N. What the run holds is let go
// during the wait and taken again only after Y.
int AskToContinue(Report& report, const std::wstring& question);

}  // namespace Quellor
