#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/IniFile.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

namespace m470 {
namespace {

TEST(IniFiles, WritingAValueKeepsEveryOtherSectionAndLine) {
    test::TempFolder temp;
    const std::string other = "; written by someone else\n[Window]\nLeft=10\n  Top = 20 \n\n[Unknown Section]\nthing=\"a b\"\n";
    temp.Write("main.ini", other + "[skinimage]\nflags=0\n\n");
    ASSERT_TRUE(WriteIniValue(temp.File("main.ini"), "SKINIMAGE", "FLAGS", "1"));
    ASSERT_TRUE(WriteIniValue(temp.File("main.ini"), "SKINIMAGE", "IMAGE", "skin/bg 2.png"));
    EXPECT_EQ(temp.Read("main.ini"), other + "[skinimage]\nFLAGS=1\nIMAGE=skin/bg 2.png\n\n");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "SkinImage", "image"), "skin/bg 2.png");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Window", "TOP"), "20");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Unknown Section", "thing"), "a b");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Window", "Right"), std::nullopt);
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Nowhere", "Left"), std::nullopt);
    // A key of the same name in another section is another key.
    ASSERT_TRUE(WriteIniValue(temp.File("main.ini"), "Window", "FLAGS", "7"));
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "SKINIMAGE", "FLAGS"), "1");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Window", "FLAGS"), "7");
}

TEST(IniFiles, AMissingFileGetsTheSectionAndTheKey) {
    test::TempFolder temp;
    ASSERT_TRUE(WriteIniValue(temp.File("main.ini"), "SKINIMAGE", "FLAGS", "0"));
    ASSERT_TRUE(WriteIniValue(temp.File("main.ini"), "SKINIMAGE", "IMAGE", "common/background.png"));
    EXPECT_EQ(temp.Read("main.ini"), "[SKINIMAGE]\nFLAGS=0\nIMAGE=common/background.png\n");
}

TEST(IniFiles, ValuesThatWouldBreakTheStructureAreRefused) {
    test::TempFolder temp;
    temp.Write("main.ini", "[A]\nk=v\n");
    IniFile file;
    ASSERT_TRUE(file.Load(temp.File("main.ini")));
    EXPECT_FALSE(file.Set("A", "k", "x\n[B]\nk=injected"));
    EXPECT_FALSE(file.Set("A", "k=2", "x"));
    EXPECT_FALSE(file.Set("A]", "k", "x"));
    EXPECT_FALSE(file.Set("", "k", "x"));
    EXPECT_FALSE(file.Set("A", " ", "x"));
    EXPECT_EQ(file.Text(), "[A]\nk=v\n");
}

TEST(IniFiles, AFileThatCannotBeReadIsNeverReplaced) {
    test::TempFolder temp;
    temp.Write("big.ini", "[A]\n" + std::string(kMaxIniFileBytes, ';') + "\n");
    EXPECT_FALSE(WriteIniValue(temp.File("big.ini"), "A", "k", "v"));
    EXPECT_EQ(temp.Read("big.ini").size(), kMaxIniFileBytes + 5);
    ASSERT_EQ(::mkfifo(temp.File("pipe.ini").c_str(), 0600), 0);
    EXPECT_FALSE(WriteIniValue(temp.File("pipe.ini"), "A", "k", "v"));  // returns, does not block
    temp.Write("locked.ini", "[Other]\nx=1\n");
    ASSERT_EQ(::chmod(temp.File("locked.ini").c_str(), 0), 0);
    test::HandOver(temp.Path());
    EXPECT_EQ(test::RunUnprivileged([&] { return WriteIniValue(temp.File("locked.ini"), "SKINIMAGE", "FLAGS", "1") ? 1 : 0; }), 0);
    ::chmod(temp.File("locked.ini").c_str(), 0644);
    EXPECT_EQ(temp.Read("locked.ini"), "[Other]\nx=1\n");
}

}  // namespace
}  // namespace m470
