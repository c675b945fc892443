#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RestorePoint.h"

using namespace Zento::Lithcore;

namespace {

struct Call {
    DWORD eventType;
    DWORD pointType;
    INT64 sequenceNumber;
    std::wstring description;
};
std::vector<Call> g_calls;
DWORD g_refusal = ERROR_SUCCESS;  // the status of a refused call; ERROR_SUCCESS: every call is granted
constexpr INT64 kGivenNumber = 0x123456789LL;
INT64 g_newestBefore = kGivenNumber - 1;  // the newest point there is before the call

bool FakeNewestPoint(INT64& sequenceNumber) {
    sequenceNumber = g_newestBefore;
    return true;
}

BOOL WINAPI FakeSetRestorePoint(PRESTOREPOINTINFOW pointInfo, PSTATEMGRSTATUS status) {
    g_calls.push_back({pointInfo->dwEventType, pointInfo->dwRestorePtType, pointInfo->llSequenceNumber, pointInfo->szDescription});
    if (g_refusal != ERROR_SUCCESS) {
        status->nStatus = g_refusal;
        return FALSE;
    }
    status->nStatus = ERROR_SUCCESS;
    status->llSequenceNumber = kGivenNumber;
    return TRUE;
}

class RestorePointCalls : public testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_refusal = ERROR_SUCCESS;
        g_newestBefore = kGivenNumber - 1;
    }
};

}  // namespace

TEST_F(RestorePointCalls, BeginsAnUninstallPointAndEndsItOnceWithItsNumber) {
    {
        RestorePoint point = RestorePoint::BeginWith(&FakeSetRestorePoint, &FakeNewestPoint, L"Quellor: Mirevo の強制削除");
        ASSERT_TRUE(point.Began());
        EXPECT_EQ(point.Error(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(point.SequenceNumber(), kGivenNumber);
        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].eventType, static_cast<DWORD>(BEGIN_SYSTEM_CHANGE));
        EXPECT_EQ(g_calls[0].pointType, static_cast<DWORD>(APPLICATION_UNINSTALL));
        EXPECT_EQ(g_calls[0].description, L"Quellor: Mirevo の強制削除");

        EXPECT_EQ(point.End(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(point.End(), static_cast<DWORD>(ERROR_INVALID_STATE));
    }
    ASSERT_EQ(g_calls.size(), 2u) << "ended once, by End, not again on destruction";
    EXPECT_EQ(g_calls[1].eventType, static_cast<DWORD>(END_SYSTEM_CHANGE));
    EXPECT_EQ(g_calls[1].pointType, static_cast<DWORD>(APPLICATION_UNINSTALL));
    EXPECT_EQ(g_calls[1].sequenceNumber, kGivenNumber);
}

TEST_F(RestorePointCalls, AnUnendedPointIsEndedOnceByItsLastOwnerAndALongNameIsCut) {
    {
        RestorePoint first = RestorePoint::BeginWith(&FakeSetRestorePoint, &FakeNewestPoint, std::wstring(300, L'x'));
        RestorePoint moved = std::move(first);
        RestorePoint last = std::move(moved);
        EXPECT_TRUE(last.Began());
    }
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].description, std::wstring(MAX_DESC_W - 1, L'x'));
    EXPECT_EQ(g_calls[1].eventType, static_cast<DWORD>(END_SYSTEM_CHANGE));
    EXPECT_EQ(g_calls[1].sequenceNumber, kGivenNumber);
}

TEST_F(RestorePointCalls, ARefusalGivesWindowsStatusAndNothingToEnd) {
    g_refusal = ERROR_SERVICE_DISABLED;
    {
        RestorePoint point = RestorePoint::BeginWith(&FakeSetRestorePoint, &FakeNewestPoint, L"Quellor");
        EXPECT_FALSE(point.Began());
        EXPECT_EQ(point.Error(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
        EXPECT_EQ(point.SequenceNumber(), 0);
        EXPECT_EQ(point.End(), static_cast<DWORD>(ERROR_INVALID_STATE));
    }
    EXPECT_EQ(g_calls.size(), 1u);

    RestorePoint missing = RestorePoint::BeginWith(nullptr, &FakeNewestPoint, L"Quellor");
    EXPECT_FALSE(missing.Began());
    EXPECT_EQ(missing.Error(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

// Within the creation frequency Windows answers success with the newest point's number and makes none:
// that point is not this run's, so it is named as the earlier one and never ended. Points that cannot be
// listed leave Windows' answer as it is.
TEST_F(RestorePointCalls, AnEarlierPointThatWindowsNamesIsNeitherBegunNorEnded) {
    g_newestBefore = kGivenNumber;
    {
        RestorePoint point = RestorePoint::BeginWith(&FakeSetRestorePoint, &FakeNewestPoint, L"Quellor");
        EXPECT_FALSE(point.Began());
        EXPECT_TRUE(point.Earlier());
        EXPECT_EQ(point.SequenceNumber(), kGivenNumber);
        EXPECT_EQ(point.Error(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(point.End(), static_cast<DWORD>(ERROR_INVALID_STATE));
    }
    ASSERT_EQ(g_calls.size(), 1u) << "no END for a point this run did not begin";

    RestorePoint unlisted = RestorePoint::BeginWith(&FakeSetRestorePoint, nullptr, L"Quellor");
    EXPECT_TRUE(unlisted.Began());
    EXPECT_FALSE(unlisted.Earlier());
}

// Wine may lack srclient.dll or answer with a stub: either way the answer is an outcome, never a crash.
// Only there: on Windows the test would leave a real restore point behind.
TEST(RestorePoint, TheSystemsOwnAnswerIsAnOutcome) {
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
        GTEST_SKIP() << "not under Wine";
    RestorePoint point = RestorePoint::Begin(L"Quellor test");
    if (point.Began()) {
        EXPECT_EQ(point.Error(), static_cast<DWORD>(ERROR_SUCCESS));
        (void)point.End();
    } else {
        EXPECT_NE(point.Error(), static_cast<DWORD>(ERROR_SUCCESS));
    }
}
