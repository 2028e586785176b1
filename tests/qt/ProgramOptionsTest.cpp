// The program's command line and start-up failures, run as a user would.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "platform/Folders.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

using Outcome = test::ProgramOutcome;
using test::RunProgram;

TEST(ProgramOptions, BadNumbersAndUnknownOptionsExitTwoWithUsage) {
    test::TempFolder folder(false);
    const QString runtime = QString::fromStdString(folder.Path());
    const Outcome word = RunProgram({"--send", "Game_Start", "one", "2"}, runtime);
    EXPECT_EQ(word.exitCode, 2);
    EXPECT_NE(word.err.find("\"one\" is not a number"), std::string::npos) << word.err;
    EXPECT_EQ(RunProgram({"--send", "Game_Start", "1", "99999999999999999999999"}, runtime).exitCode, 2);
    const Outcome unknown = RunProgram({"--frobnicate"}, runtime);
    EXPECT_EQ(unknown.exitCode, 2);  // and no window started
    EXPECT_NE(unknown.err.find("usage: m470"), std::string::npos) << unknown.err;
    const Outcome help = RunProgram({"--help"}, runtime);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--send NAME"), std::string::npos);
    EXPECT_EQ(RunProgram({"-h"}, runtime).exitCode, 0);
}

TEST(ProgramOptions, ASocketThatCannotBeMadeIsReportedNotTakenForASecondCopy) {
    test::TempFolder folder(false);
    const std::string deep = folder.File(std::string(110, 'r'));
    QDir().mkpath(QString::fromStdString(deep));
    const Outcome run = RunProgram({}, QString::fromStdString(deep));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
}

TEST(ProgramOptions, ProductsAreListedWithTheirPagesAndEntriesFollowTheLanguage) {
    test::TempFolder folder(false);
    folder.Write("run.script", R"(until device_select_name[0] text Gaming Mouse
until device_select_state[0] text Cable
until device_option[1] visible 1
until device_select_name[1] text Keyboard
until device_select_name[2] text Headset
# every product has its page now: the keyboard's shows its keys, and its
# settings are chosen on the strip's tabs only
click device_select[1]
until keyboard_device_key_light visible 1
expect keyboard_option_layout visible 0
click device_select[0]
click setbtn
trigger language_0
until device_select_name[0] text 游戏鼠标
expect device_select_state[0] text 有线
expect device_select_name[2] text 耳机
)");
    const Outcome run = RunProgram({"--script", QString::fromStdString(folder.File("run.script"))},
                                   QString::fromStdString(folder.Path()), "mouse,keyboard,headset");
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

}  // namespace
}  // namespace m470
