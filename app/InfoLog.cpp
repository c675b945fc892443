#include "app/InfoLog.h"

#include <cstdio>

#include "app/Report.h"

namespace Quellor {

namespace {
constexpr int kMaxAttempts = 100;
}

std::wstring LogFileName(const SYSTEMTIME& t, int attempt) {
    wchar_t stamp[32] = {};
    std::swprintf(stamp, 32, L"%04d%02d%02d%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    std::wstring name = L"infoLog_" + std::wstring(stamp);
    if (attempt > 1) name += L"_" + std::to_wstring(attempt);
    return name + L".txt";
}

Zento::Lithcore::TextFile CreateInfoLog(const SYSTEMTIME& startTime) {
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        try {
            return Zento::Lithcore::TextFile::CreateNewForWriting(LogFileName(startTime, attempt));
        } catch (const std::exception&) {
            // Taken by an earlier run: try the next name. Anything else is a real failure.
            if (::GetFileAttributesW(LogFileName(startTime, attempt).c_str()) == INVALID_FILE_ATTRIBUTES) break;
        }
    }
    throw RunError(L"情報ログファイルを作成できませんでした。");
}

}  // namespace Quellor
