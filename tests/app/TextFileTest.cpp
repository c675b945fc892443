#include <gtest/gtest.h>

#include "settings/TextConversion.h"
#include "settings/TextFile.h"
#include "tests/support/TestSupport.h"

using Zento::Lithcore::TextFile;
using QuellorTest::ReadFileBytes;
using QuellorTest::ScratchFolder;
using QuellorTest::WriteFileBytes;

TEST(TextFile, Utf8ModeWritesExactlyTheBytes) {
    ScratchFolder folder;
    {
        TextFile file = TextFile::CreateNewForWriting(folder / L"a.txt");
        EXPECT_EQ(file.WriteText(L"abc"), 0);
    }
    EXPECT_EQ(ReadFileBytes(folder / L"a.txt"), "abc");
}

TEST(TextFile, ReadAllOfEmptyFileIsEmptyAndMissingFileThrowsOpenError) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"empty.txt", "");
    EXPECT_TRUE(TextFile::OpenForReading(folder / L"empty.txt").ReadAll().empty());
    try {
        TextFile::OpenForReading(folder / L"missing.txt");
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Open() Error!!!");
    }
}

TEST(TextConversion, FromMultiByteStopsAtNul) {
    EXPECT_EQ(Zento::Lithcore::FromMultiByte(std::string("\xe6\x97\xa5\x00\x41", 5), 1), L"\x65e5");
    EXPECT_EQ(Zento::Lithcore::FromMultiByte("", 1), L"");
}
