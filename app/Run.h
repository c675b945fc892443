#pragma once
#include <string>

namespace Quellor {

// The whole run: 0 after the completion message, -1 at every other end.
int RunRemoval(int argc, wchar_t** argv);

// RunRemoval behind the last line of defence: any exception is reported in Japanese and ends with -1.
int RunRemovalGuarded(int argc, wchar_t** argv);

}  // namespace Quellor
