#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(DebugTrace, KeepsOneLinePerCallAndAppendsToTheLogFile) {
    test::TempFolder folder;
    ::setenv("M470_DEBUG_LOG", folder.File("trace.log").c_str(), 1);
    DebugTrace::ReloadEnvironment();
    DebugTrace::Clear();
    DebugTrace::Write("first line\n");
    DebugTrace::Printf("命令 %02x", 0x04);
    ::unsetenv("M470_DEBUG_LOG");
    DebugTrace::ReloadEnvironment();
    DebugTrace::Write("not in the file");

    EXPECT_EQ(DebugTrace::Lines(), (std::vector<std::string>{"first line", "命令 04", "not in the file"}));
    EXPECT_EQ(folder.Read("trace.log"), "first line\n命令 04\n");
    DebugTrace::Clear();
    EXPECT_TRUE(DebugTrace::Lines().empty());
}

TEST(DebugTrace, LinesFromManyThreadsStayWhole) {
    DebugTrace::Clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) DebugTrace::Printf("thread %d line %03d %s", t, i, std::string(600, 'x').c_str());
        });
    for (auto& thread : threads) thread.join();
    const auto lines = DebugTrace::Lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) EXPECT_EQ(line.size(), std::string("thread 0 line 000 ").size() + 600);
    DebugTrace::Clear();
}

// A long session: 20,000 exchanges' worth of dump lines (about 2 MB of text)
// keep only the newest megabyte in memory, every line whole.
TEST(DebugTrace, MemoryKeepsTheNewestLinesWithinItsBudget) {
    DebugTrace::Clear();
    const std::string dump(95, 'f');
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i) DebugTrace::Printf("%05d %s", i, dump.c_str());
    const auto lines = DebugTrace::Lines();
    size_t bytes = 0;
    for (const auto& line : lines) bytes += line.size() + DebugTrace::kLineOverhead;
    EXPECT_LE(bytes, DebugTrace::kMaxKeptBytes);
    EXPECT_GT(bytes, DebugTrace::kMaxKeptBytes - 200);  // nothing dropped that fitted
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "19999 " + dump);
    EXPECT_EQ(lines.front().substr(0, 5), std::to_string(kLines - lines.size()));
    EXPECT_TRUE(DebugTrace::Contains("19999 "));
    EXPECT_FALSE(DebugTrace::Contains("00000 "));
    // Clearing starts the budget afresh.
    DebugTrace::Clear();
    DebugTrace::Write("after");
    EXPECT_EQ(DebugTrace::Lines(), std::vector<std::string>{"after"});
    DebugTrace::Clear();
}

TEST(Folders, CreateTheDataFoldersOnFirstUseAndEndInSlash) {
    test::TempFolder folder;
    const std::string appData = GetAppDataFolder();
    EXPECT_EQ(appData, folder.File("data/M470/"));
    EXPECT_TRUE(IsFolder(appData));

    const std::string mouse = GetDeviceFolder("mouse");
    EXPECT_EQ(mouse, folder.File("data/M470/mouse/"));
    EXPECT_TRUE(IsFolder(mouse));
    EXPECT_NE(GetDeviceFolder("keyboard"), mouse);

    SetInstallFolderOverride(folder.File("install"));
    EXPECT_EQ(GetDefaultDataFolder(), folder.File("install/DefaultData/"));
    EXPECT_EQ(GetDefaultProfilePath("MousePad"), folder.File("install/DefaultData/MousePad.Json"));
    EXPECT_FALSE(IsFolder(folder.File("install/DefaultData")));  // only ever read
    SetInstallFolderOverride("");
    EXPECT_EQ(GetInstallFolder().back(), '/');
}

TEST(Folders, FallBackToHomeWhenXdgIsUnset) {
    test::TempFolder folder;
    ::unsetenv("XDG_DATA_HOME");
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", folder.Path().c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), folder.File(".local/share/M470/"));
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(Registry, ReadsWrittenValuesAndToleratesBadFiles) {
    test::TempFolder folder;
    RegistryStore registry;
    EXPECT_EQ(registry.Path(), folder.File("config/M470/registry.json"));
    EXPECT_FALSE(registry.Read("LANGUAGE").has_value());
    ASSERT_TRUE(registry.Write("LANGUAGE", "520"));
    EXPECT_EQ(RegistryStore().Read("LANGUAGE"), "520");
    EXPECT_EQ(RegistryStore().ReadInt("LANGUAGE"), 520);
    ASSERT_TRUE(registry.Write("other", "x"));
    ASSERT_TRUE(registry.Remove("other"));
    EXPECT_FALSE(registry.Read("other").has_value());
    EXPECT_EQ(registry.Read("LANGUAGE"), "520");

    folder.Write("config/M470/registry.json", "{ not json");
    EXPECT_FALSE(registry.Read("LANGUAGE").has_value());
    EXPECT_TRUE(registry.Write("LANGUAGE", "0"));
    EXPECT_EQ(registry.ReadInt("LANGUAGE"), 0);
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
    test::TempFolder folder;
    folder.Write("profile.Json", "old");
    ASSERT_TRUE(WriteFileAtomically(folder.File("profile.Json"), "new content"));
    EXPECT_EQ(folder.Read("profile.Json"), "new content");

    // A folder in the way of the rename makes the write fail.
    std::filesystem::create_directories(folder.File("blocked/child"));
    EXPECT_FALSE(WriteFileAtomically(folder.File("blocked"), "x"));
    EXPECT_FALSE(WriteFileAtomically(folder.File("missing/file"), "x"));
    EXPECT_FALSE(WriteFileAtomically("", "x"));
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // profile.Json and blocked/, no leftovers
}

TEST(Text, ConvertsBetweenUtf8AndWideAndComparesCaseInsensitively) {
    EXPECT_EQ(Utf8ToWide("Ünder 命令"), L"Ünder 命令");
    EXPECT_EQ(WideToUtf8(L"Ünder 命令 😀"), "Ünder 命令 😀");
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFD" L"b");
    EXPECT_EQ(Utf8ToWide("\xE4\xB8"), L"\uFFFD\uFFFD");  // truncated sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD");        // overlong form

    EXPECT_TRUE(EqualsIgnoringCase("Ünder", "ünder"));
    EXPECT_TRUE(EqualsIgnoringCase("PROFILE1", "profile1"));
    EXPECT_TRUE(EqualsIgnoringCase("Łódź", "łÓDŹ"));
    EXPECT_TRUE(EqualsIgnoringCase("ПРОФИЛЬ", "профиль"));
    EXPECT_FALSE(EqualsIgnoringCase("profile1", "profile10"));
    EXPECT_FALSE(EqualsIgnoringCase("ü", "u"));
    EXPECT_TRUE(EqualsIgnoringCase("命令", "命令"));
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

TEST(TextFormat, OnlyTheFirstCountIsSubstituted) {
    EXPECT_EQ(FormatWithNumber("%s macro events too many: %d (%d)", 7), "%s macro events too many: 7 (%d)");
    EXPECT_EQ(FormatWithNumber("%n%x no number", 7), "%n%x no number");
    EXPECT_EQ(FormatWithNumber("超出 %d 个", -3), "超出 -3 个");
}

}  // namespace
}  // namespace m470
