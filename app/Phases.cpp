#include "app/Phases.h"

namespace Quellor {

int RunPhases(Report& report, const Settings&, const std::wstring&) {
    // The collection and removal phases are not part of this build yet: stop here, changing nothing.
    report.PrintLine(L"この版では、ここで処理を終了します。（情報収集・強制削除は未実装です）");
    return -1;
}

}  // namespace Quellor
