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
        TextFile file = TextFile::OpenForWriting(folder / L"a.txt", TextFile::kUtf8);
        EXPECT_EQ(file.WriteText(L"abc"), 0);
    }
    EXPECT_EQ(ReadFileBytes(folder / L"a.txt"), "abc");
}

TEST(TextFile, Utf16ModeWritesOneByteOrderMark) {
    ScratchFolder folder;
    {
        TextFile file = TextFile::OpenForWriting(folder / L"u.txt", TextFile::kUtf16);
        EXPECT_EQ(file.WriteText(L"abc"), 0);
        EXPECT_EQ(file.WriteText(L"abc"), 0);
    }
    EXPECT_EQ(ReadFileBytes(folder / L"u.txt"), std::string("\xff\xfe" "a\0b\0c\0a\0b\0c\0", 14));
}

TEST(TextFile, OpeningExistingFileForWritingOverwritesFromFirstByte) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"old.txt", "0123456789");
    {
        TextFile file = TextFile::OpenForWriting(folder / L"old.txt");
        file.WriteText(L"xy");
    }
    EXPECT_EQ(ReadFileBytes(folder / L"old.txt"), "xy23456789");
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

TEST(TextConversion, FromMultiByteStopsAtNulAndToAnsiRoundTripsAscii) {
    EXPECT_EQ(Zento::Lithcore::FromMultiByte(std::string("\xe6\x97\xa5\x00\x41", 5), 1), L"\x65e5");
    EXPECT_EQ(Zento::Lithcore::FromMultiByte("", 1), L"");
    EXPECT_EQ(Zento::Lithcore::ToAnsi(L"abc"), "abc");
}
