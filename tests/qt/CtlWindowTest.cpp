// m470ctl while the window runs: the request goes over the window's socket,
// the window carries it out on its own page (which then shows the new
// value), saves the profile and answers; m470ctl prints the answer.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <thread>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class CtlWindow : public ::testing::Test {
protected:
    void SetUp() override {
        environment = QProcessEnvironment::systemEnvironment();
        const QString runtime = QString::fromStdString(folder.Path());
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("XDG_DATA_HOME", runtime + "/data");
        environment.insert("XDG_CONFIG_HOME", runtime + "/config");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    }
    struct Outcome {
        int exitCode = -1;
        std::string out, err;
    };
    Outcome Ctl(const QStringList& arguments, const QProcessEnvironment& extra = {}) {
        test::TestProcess ctl;
        QProcessEnvironment env = environment;
        env.remove("M470_VIRTUAL");  // a window holds the products: no virtual ones of m470ctl's own
        for (const QString& key : extra.keys()) env.insert(key, extra.value(key));
        ctl.setProcessEnvironment(env);
        ctl.start(QString::fromStdString(GetInstallFolder() + "m470ctl"), arguments);
        if (!ctl.waitForFinished(20000)) {
            ctl.kill();
            ctl.waitForFinished();
            return {};
        }
        return {ctl.exitCode(), ctl.readAllStandardOutput().toStdString(), ctl.readAllStandardError().toStdString()};
    }

    test::TempFolder folder{false};
    QProcessEnvironment environment;
};

TEST_F(CtlWindow, ARequestIsCarriedOutByTheRunningWindowOnItsPage) {
    // The window shows the mouse page and, after m470ctl's change, checks what its controls show.
    folder.Write("check.script", R"(until device_select[0] read 1
click device_select[0]
until DPI_edit_1 text 1600
until polling_rate_option_1 selected 1
quit
)");
    test::TestProcess window;
    QProcessEnvironment windowEnvironment = environment;
    windowEnvironment.insert("M470_VIRTUAL", "mouse");
    window.setProcessEnvironment(windowEnvironment);
    window.start(QString::fromStdString(GetInstallFolder() + "m470"),
                 {"--script", QString::fromStdString(folder.File("check.script"))});
    ASSERT_TRUE(window.waitForStarted());

    // Until the window has found its mouse.
    Outcome list;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (list.out.find("profile1") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        list = Ctl({"list"});
        if (list.out.find("profile1") == std::string::npos) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(list.out.find("profile1"), std::string::npos) << list.out << list.err;

    // Refusals first: the window quits once it shows the two changes below.
    const Outcome keyboard = Ctl({"keyboard", "get"});
    EXPECT_EQ(keyboard.exitCode, 1);
    EXPECT_NE(keyboard.err.find("no keyboard is connected"), std::string::npos) << keyboard.err;
    const Outcome wrong = Ctl({"mouse", "set", "report-rate", "333"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("125, 250, 500, 1000, 2000"), std::string::npos) << wrong.err;
    // M470_VIRTUAL would give m470ctl a keyboard of its own: the window's products count.
    const Outcome dpi = Ctl({"mouse", "set", "dpi", "2", "1600"}, [] {
        QProcessEnvironment virtualKeyboard;
        virtualKeyboard.insert("M470_VIRTUAL", "keyboard");
        return virtualKeyboard;
    }());
    EXPECT_EQ(dpi.exitCode, 0) << dpi.err;
    EXPECT_EQ(dpi.out, "1600\n");
    const Outcome rate = Ctl({"--json", "mouse", "set", "report-rate", "250"});
    EXPECT_EQ(rate.exitCode, 0) << rate.err;
    bool ok = false;
    EXPECT_EQ(ParseJson(rate.out, &ok)["value"].asString(), "250") << rate.out;

    ASSERT_TRUE(window.waitForFinished(45000));
    EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardError().toStdString();

    // The window saved the changes as its own edits, and as m470ctl does on its own.
    QProcessEnvironment alone;
    const QString elsewhere = QString::fromStdString(folder.File("alone"));
    QDir().mkpath(elsewhere + "/run");
    QFile::setPermissions(elsewhere + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    alone.insert("XDG_RUNTIME_DIR", elsewhere + "/run");
    alone.insert("XDG_DATA_HOME", elsewhere + "/data");
    EXPECT_EQ(Ctl({"--virtual=mouse", "mouse", "set", "dpi", "2", "1600"}, alone).exitCode, 0);
    EXPECT_EQ(Ctl({"--virtual=mouse", "mouse", "set", "report-rate", "250"}, alone).exitCode, 0);
    const auto device = [](const std::string& data) {
        const Json::Value list = LoadJson(data + "/M470/mouse/ProfileList.ini");
        return LoadJson(data + "/M470/mouse/" + JsonText(list["profilelist"][0]["profileUUID"]) + ".Json")["Device"][0];
    };
    const Json::Value byWindow = device(folder.Path() + "data"), byItself = device(elsewhere.toStdString() + "/data");
    EXPECT_EQ(byWindow["ReportStages"]["StageActive"].asInt(), 1);  // 250 Hz
    EXPECT_EQ(byWindow["DPIStages"], byItself["DPIStages"]);
    EXPECT_EQ(byWindow["ReportStages"], byItself["ReportStages"]);
}

}  // namespace
}  // namespace m470
