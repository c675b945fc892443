// Linked only into the tests' build of quellor.exe: a child process is awaited ten seconds instead
// of two minutes, so a run with a server that never ends can be tested in reasonable time.
#include "processes/ChildProcess.h"

namespace {

const bool kShortened = (Zento::Lithcore::SetChildWaitLimitMs(10000), true);

}  // namespace
