// What the user reads when an action is refused or a file cannot be saved:
// its own sentence in both languages, with the reason of a failed save.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileAlerts.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "shell/Language.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

LanguageTable Table(const std::string& file) {
    LanguageTable table;
    EXPECT_TRUE(table.Load(GetInstallFolder() + "skin/lang/" + file)) << file;
    return table;
}

Translator Of(const LanguageTable& table) {
    return [&table](std::string_view key) { return table.Text(std::string(key)); };
}

// The errno a save meets in a child whose files may not grow past 1 KiB.
int ErrorOfASaveOverTheSizeLimit(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TakeFileAlert();
        if (SaveJson(path, Json::Value(std::string(4096, 'x')))) ::_exit(0);
        const std::optional<FileAlert> alert = TakeFileAlert();
        ::_exit(alert && alert->path == path ? alert->error : 255);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(RefusalTexts, EveryRefusalHasItsOwnSentenceInBothLanguages) {
    std::vector<std::string> keys = {
        "file_save_failed_text",       "file_unreadable_text",         "file_reason_unknown",
        "macro_import_too_large_text", "macro_import_unreadable_text", "macro_library_full_text",
        "macro_export_failed_text",    "hs_eq_name_taken_text",        "recoil_import_too_large",
        "recoil_import_refused",       "recoil_export_failed",         "recoil_image_too_large_text",
        "macro_delay_range_text",
    };
    for (int error : {ENOSPC, EDQUOT, EFBIG, EACCES, EPERM, EROFS, ENOENT, ENOTDIR, EISDIR, EIO}) {
        keys.push_back(FileErrorReasonKey(error));
        EXPECT_FALSE(keys.back().empty()) << error;
    }
    EXPECT_TRUE(FileErrorReasonKey(EINVAL).empty());
    for (const char* file : {"en.json", "zh.json"}) {
        const LanguageTable table = Table(file);
        for (const std::string& key : keys) {
            EXPECT_TRUE(table.Has(key)) << file << " " << key;
            // Never the device failure, nor the profile's duplicate name.
            EXPECT_NE(table.Text(key), table.Text("message_text_7")) << file << " " << key;
            EXPECT_NE(table.Text(key), table.Text("message_text_5")) << file << " " << key;
        }
    }
}

// Root writes into any folder whatever its mode (CI runs as root): a path whose
// folder is a file and a file-size limit make the save fail for everyone.
TEST(RefusalTexts, ASaveThatFailsSaysCouldNotBeSavedWithItsReason) {
    test::TempFolder folder;
    folder.Write("file", "x");
    const std::string path = folder.File("file/p.Json");
    TakeFileAlert();
    EXPECT_FALSE(SaveJson(path, Json::Value(1)));
    const std::optional<FileAlert> alert = TakeFileAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->error, ENOTDIR);
    const LanguageTable english = Table("en.json");
    const LanguageTable chinese = Table("zh.json");
    EXPECT_EQ(FileAlertText(*alert, Of(english)), "“" + path + "” could not be saved: the folder does not exist.");
    EXPECT_EQ(FileAlertText(*alert, Of(chinese)), "无法保存“" + path + "”：文件夹不存在。");

    const int error = ErrorOfASaveOverTheSizeLimit(folder.File("big.Json"));
    EXPECT_EQ(error, EFBIG);
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))  // nothing half written
        EXPECT_EQ(entry.path().filename(), "file");
    EXPECT_EQ(FileAlertText({FileAlert::Kind::SaveFailed, "/a%2b", EFBIG}, Of(english)),
              "“/a%2b” could not be saved: the file would be larger than the system allows.");
    // An error the table does not name is told in the system's words.
    EXPECT_EQ(FileAlertText({FileAlert::Kind::SaveFailed, "p", EINVAL}, Of(english)),
              std::string("“p” could not be saved: ") + std::strerror(EINVAL) + ".");
}

}  // namespace
}  // namespace m470
