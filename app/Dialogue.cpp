#include "app/Dialogue.h"

namespace Quellor {

int AskToContinue(Report& report, const std::wstring& question) {
    report.PrintLine(question);
    report.PrintLine(L"Yで処理を続行、Nでプログラムを終了します。");
    report.BeginOperatorWait();
    for (;;) {
        report.PrintLine(L"YかNを入力してください。");
        int answer = report.Input().ReadChar();
        if (answer == ConsoleInput::kEnd || answer == 'N' || answer == 'n') {
            report.PrintLine(L"プログラムを終了します。");
            return -1;
        }
        if (answer == 'Y' || answer == 'y') {
            report.PrintLine(L"処理を続行します。");
            report.Input().DiscardLine();
            report.OperatorGoesOn();
            return 0;
        }
    }
}

}  // namespace Quellor
