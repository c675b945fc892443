#pragma once
// Everything the run tells the operator, also recorded in the information log;
// the log additionally receives the detailed lists.
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Console.h"
#include "settings/TextFile.h"

namespace Quellor {

using Lines = std::vector<std::wstring>;

inline constexpr wchar_t kEnterToEnd[] = L"Enterで終了";

// An error the run reports to the operator in Japanese before ending with -1.
class RunError : public std::runtime_error {
public:
    explicit RunError(std::wstring message) : std::runtime_error("run error"), message_(std::move(message)) {}
    const std::wstring& Message() const { return message_; }

private:
    std::wstring message_;
};

class Report;

// Whoever holds what must not stay held while the console waits for the operator (the hives of users who
// are not logged on, which lock their files): let go before every wait, taken again when the run goes on.
class OperatorWaits {
public:
    virtual void BeforeOperatorWait(Report& report) = 0;
    virtual void AfterOperatorGoesOn(Report& report) = 0;

protected:
    ~OperatorWaits() = default;
};

class Report {
public:
    Report(ConsoleOutput& console, ConsoleInput& input, Zento::Lithcore::TextFile& log)
        : console_(console), input_(input), log_(log) {}

    // Console first (text, "\n"), then the log (text, CR LF): a line is shown even when the log fails.
    void PrintLine(const std::wstring& text);
    void LogLine(const std::wstring& text);
    void PrintLines(const Lines& lines);
    void LogLines(const Lines& lines);
    // A heading, its lines and an empty line; nothing when there are no lines, unless `evenEmpty`.
    void LogSection(const std::wstring& heading, const Lines& lines, bool evenEmpty = false);
    void PrintSection(const std::wstring& heading, const Lines& lines);

    // 0 when succeeded, -1 otherwise. The wait prints "Enterで終了" and reads one character.
    int ReportOutcome(const std::wstring& successText, const std::wstring& failureText, bool succeeded, bool wait);
    void ReportSearch(const std::wstring& label, bool found, const Lines& list);
    // Enter: what the run holds is let go before the wait, and stays so unless OperatorGoesOn follows.
    void WaitForEnter();
    // Around any other read of the operator's answer: BeginOperatorWait before it; OperatorGoesOn when the
    // answer lets the run go on.
    void BeginOperatorWait();
    void OperatorGoesOn();
    // Null for none; the holder must outlast every wait.
    void SetOperatorWaits(OperatorWaits* holder) { waits_ = holder; }

    // The same report that says nothing: for searches whose findings only the caller looks at.
    Report Silenced() const {
        Report quiet(*this);
        quiet.silent_ = true;
        return quiet;
    }

    ConsoleInput& Input() { return input_; }
    // The log's file name as it was created (no folder: it lies in the current folder).
    const std::wstring& LogPath() const { return log_.Path(); }

private:
    ConsoleOutput& console_;
    ConsoleInput& input_;
    Zento::Lithcore::TextFile& log_;
    OperatorWaits* waits_ = nullptr;
    bool silent_ = false;
};

// The yes/no dialogue: 0 to continue, -1 to end. End of input counts as N. What the run holds is let go
// during the wait and taken again only after Y.
int AskToContinue(Report& report, const std::wstring& question);

}  // namespace Quellor
