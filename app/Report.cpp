#include "app/Report.h"

namespace Quellor {

namespace {
constexpr wchar_t kWriteFailed[] = L"ファイルに書き込めませんでした。";
}

void Report::PrintLine(const std::wstring& text) {
    if (silent_) return;
    console_.Write(text + L"\n");
    LogLine(text);
}

void Report::LogLine(const std::wstring& text) {
    if (silent_) return;
    try {
        log_.WriteText(text + L"\r\n");  // a failed byte write is tolerated: the console already has the line
    } catch (const std::exception&) {
        throw RunError(kWriteFailed);
    }
}

void Report::PrintLines(const Lines& lines) {
    for (const std::wstring& line : lines) PrintLine(line);
}

void Report::LogLines(const Lines& lines) {
    for (const std::wstring& line : lines) LogLine(line);
}

void Report::LogSection(const std::wstring& heading, const Lines& lines, bool evenEmpty) {
    if (lines.empty() && !evenEmpty) return;
    LogLine(heading);
    LogLines(lines);
    LogLine(L"");
}

void Report::PrintSection(const std::wstring& heading, const Lines& lines) {
    if (lines.empty()) return;
    PrintLine(heading);
    PrintLines(lines);
    PrintLine(L"");
}

int Report::ReportOutcome(const std::wstring& successText, const std::wstring& failureText, bool succeeded,
                          bool wait) {
    if (succeeded) {
        PrintLine(successText);
        PrintLine(L"");
        return 0;
    }
    PrintLine(failureText);
    if (wait) {
        PrintLine(kEnterToEnd);
        WaitForEnter();
    }
    return -1;
}

void Report::ReportSearch(const std::wstring& label, bool found, const Lines& list) {
    PrintLine(label + L"を検索します...");
    if (found) {
        PrintLine(label + L"が見つかりました。");
        LogLines(list);
    } else {
        PrintLine(label + L"がありません。");
    }
    PrintLine(L"");
}

void Report::WaitForEnter() {
    BeginOperatorWait();
    input_.ReadChar();
}

void Report::BeginOperatorWait() {
    if (waits_ != nullptr) waits_->BeforeOperatorWait(*this);
}

void Report::OperatorGoesOn() {
    if (waits_ != nullptr) waits_->AfterOperatorGoesOn(*this);
}

int AskToContinue(Report& report, const std::wstring& question) {
    report.PrintLine(question);
    report.PrintLine(L"Yで処理を続行、Nでプログラムを終了します。");
    report.BeginOperatorWait();
    ConsoleInput& input = report.Input();
    for (;;) {
        report.PrintLine(L"YかNを入力してください。");
        int answer = input.ReadChar();
        if (answer == ConsoleInput::kEnd || answer == 'N' || answer == 'n') {
            report.PrintLine(L"プログラムを終了します。");
            return -1;
        }
        if (answer == 'Y' || answer == 'y') {
            report.PrintLine(L"処理を続行します。");
            // The rest of the answer's line is no answer to the next question.
            for (int c = input.ReadChar(); c != ConsoleInput::kEnd && c != '\n'; c = input.ReadChar()) {
            }
            report.OperatorGoesOn();
            return 0;
        }
    }
}

}  // namespace Quellor
