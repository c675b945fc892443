#include <gtest/gtest.h>

#include "platform/Win32Exception.h"
#include "registry/RegistryStorage.h"
#include "settings/TextConversion.h"

using namespace Zento::Lithcore;
using Storage::IO::ByteArray;
using Storage::IO::StorageData;
using Storage::IO::StorageType;

TEST(StorageData, ToStringGivesTextForEveryTypeAndNeverThrows) {
    EXPECT_EQ(StorageData(42).ToString(), L"42");
    EXPECT_EQ(StorageData(-1).ToString(), L"-1");
    EXPECT_EQ(StorageData(std::wstring(L"text")).ToString(), L"text");
    EXPECT_EQ(StorageData(PathList{L"a", L"b"}).ToString(), L"a\nb\n");
    EXPECT_EQ(StorageData(PathList{}).ToString(), L"");
    EXPECT_EQ(StorageData(ByteArray{1, 2}).ToString(), L"ToString unsupported type: 4");
    EXPECT_EQ(StorageData().ToString(), L"ToString unsupported type: 0");
}

TEST(StorageData, GetWStringOfAnotherTypeThrowsWithTheLastErrorCode) {
    ::SetLastError(1234);
    try {
        StorageData(7).GetWString();
        FAIL() << "no exception";
    } catch (const Exception::Win32Exception& e) {
        EXPECT_EQ(e.ErrorCode(), 1234u);
        EXPECT_EQ(std::string(e.what()),
                  ToAnsi(L"保持しているデータの型がWStringではありません。"
                         L"この例外を回避するために、明示的な型キャストを試してみてください。"));
    }
    EXPECT_THROW(StorageData().GetWString(), Exception::Win32Exception);
    EXPECT_EQ(StorageData(std::wstring()).GetWString(), L"");
}
