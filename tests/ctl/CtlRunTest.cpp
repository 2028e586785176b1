// A whole m470ctl run: to the window when one listens (its words as typed,
// files made absolute), to the products itself when none does, and a clear
// refusal when a window takes the request and says nothing, or another
// M470 program holds the products.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "ctl/CtlExecutor.h"
#include "ctl/CtlRun.h"
#include "platform/DebugTrace.h"
#include "platform/InstanceSocket.h"
#include "platform/ProductLock.h"
#include "platform/Registry.h"
#include "sim/VirtualDeviceHub.h"
#include "support/Squatter.h"
#include "support/TempFolder.h"

namespace m470::ctl {
namespace {

// A window that takes one connection, reads one line and answers as told.
class FakeWindow {
public:
    explicit FakeWindow(std::string answer) : answer_(std::move(answer)) {
        const std::string path = InstanceSocketPath();
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 4), 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeWindow() {
        thread_.join();
        ::close(listener_);
        ::unlink(InstanceSocketPath().c_str());
    }
    std::string Received() {
        thread_.join();
        thread_ = std::thread([] {});
        return received_;
    }

private:
    void Serve() {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0) return;
        char c = 0;
        while (::read(connection, &c, 1) == 1 && c != '\n') received_ += c;
        // What a window broadcasts to every listener comes first; the reply after it.
        const std::string lines = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16} 1 1\n" + answer_;
        // A client that sent nothing went away: no answer to give.
        if (!answer_.empty() && !received_.empty()) {
            EXPECT_EQ(::send(connection, lines.data(), lines.size(), MSG_NOSIGNAL), static_cast<ssize_t>(lines.size()));
        }
        ::close(connection);
    }

    std::string answer_, received_;
    int listener_ = -1;
    std::thread thread_;
};

class CtlRun : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string runtime = folder.File("run");
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        settings.workingFolder = "/home/someone/games";
        settings.answerMs = 5000;
        settings.lockMs = 200;
        hub.PlugAll({"mouse"});
        settings.backend = hub.Backend();
    }

    test::TempFolder folder;
    VirtualDeviceHub hub;
    RunSettings settings;
};

TEST_F(CtlRun, AWindowThatListensGetsTheRequestAndItsAnswerIsTheRunsAnswer) {
    const Reply answer{kExitRefused, "", "m470ctl: Writing to the device failed.\n"};
    FakeWindow window(FormatReply(answer));
    hub.Traffic().Clear();
    const Reply reply = RunCommandLine({"mouse", "profile", "export", "best/aim.json"}, settings);
    EXPECT_EQ(reply, answer);
    EXPECT_EQ(ParseRequest(window.Received()),
              (std::vector<std::string>{"mouse", "profile", "export", "/home/someone/games/best/aim.json"}));
    EXPECT_TRUE(hub.Traffic().Entries().empty()) << "m470ctl itself opened nothing";
}

// The SDK switch goes to the window that holds the server; without one it
// is kept in registry.json for the window's next start, and opens no product.
TEST_F(CtlRun, TheSdkSwitchGoesToTheWindowOrIsKeptForItsNextStart) {
    {
        FakeWindow window(FormatReply({kExitDone, "OpenRGB SDK server listening on 127.0.0.1:6742\n", {}}));
        EXPECT_EQ(RunCommandLine({"sdk", "on"}, settings).exitCode, kExitDone);
        EXPECT_EQ(ParseRequest(window.Received()), (std::vector<std::string>{"sdk", "on"}));
    }
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = before != nullptr ? before : "";
    ::setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    hub.Traffic().Clear();
    const Reply on = RunCommandLine({"sdk", "on"}, settings);
    EXPECT_EQ(on, (Reply{kExitDone, "OpenRGB SDK server on (127.0.0.1:6742) from the window's next start\n", {}}));
    EXPECT_EQ(RegistryStore().Read("OPENRGB_SDK"), "1");
    EXPECT_EQ(RunCommandLine({"sdk", "off"}, settings).out, "OpenRGB SDK server off\n");
    EXPECT_EQ(RegistryStore().Read("OPENRGB_SDK"), "0");
    EXPECT_TRUE(hub.Traffic().Entries().empty());
    EXPECT_EQ(RunCommandLine({"sdk", "maybe"}, settings).exitCode, kExitUsage);
    EXPECT_EQ(RunCommandLine({"--json", "sdk", "off"}, settings).out,
              "{\n   \"message\" : \"OpenRGB SDK server off\",\n   \"sdk\" : \"off\"\n}\n");
    // A port of another's choosing is used; one that is no port is said, and the usual one is used.
    RegistryStore registry;
    ASSERT_TRUE(registry.Write("OPENRGB_SDK_PORT", "6743"));
    EXPECT_EQ(RunCommandLine({"sdk", "on"}, settings).out, "OpenRGB SDK server on (127.0.0.1:6743) from the window's next start\n");
    DebugTrace::Clear();
    ASSERT_TRUE(registry.Write("OPENRGB_SDK_PORT", "70000"));
    EXPECT_EQ(RunCommandLine({"sdk", "on"}, settings).out, "OpenRGB SDK server on (127.0.0.1:6742) from the window's next start\n");
    EXPECT_TRUE(DebugTrace::Contains("OPENRGB_SDK_PORT \"70000\" is no port from 1 to 65535: 6742 is used"));
    if (before != nullptr) ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(CtlRun, AWindowThatClosesWithoutAnAnswerIsARefusal) {
    FakeWindow window("");
    const Reply reply = RunCommandLine({"mouse", "get", "stage"}, settings);
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("closed the connection"), std::string::npos) << reply.err;
}

TEST_F(CtlRun, WithoutAWindowTheRunOpensTheProductsUnderTheLock) {
    hub.Traffic().Clear();
    Reply reply = RunCommandLine({"mouse", "get", "stage"}, settings);
    EXPECT_EQ(reply.exitCode, kExitDone) << reply.err;
    EXPECT_EQ(reply.out, "2\n");
    EXPECT_FALSE(hub.Traffic().Entries().empty()) << "the mouse was read";

    // Another M470 program holds the products: told, and nothing is sent.
    ProductLock holder;
    ASSERT_TRUE(holder.Acquire(0));
    hub.Traffic().Clear();
    reply = RunCommandLine({"mouse", "get", "stage"}, settings);
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("in use by another M470 program"), std::string::npos) << reply.err;
    EXPECT_TRUE(hub.Traffic().Entries().empty());
    holder.Release();
    EXPECT_EQ(RunCommandLine({"mouse", "get", "stage"}, settings).exitCode, kExitDone);
}

// Another user moves into a runtime folder open to everyone and answers in
// the window's place. The open folder is passed over; and once it is closed
// again with the stranger's socket inside, the stranger gets no word and its
// answer is not taken as the window's.
TEST_F(CtlRun, AnotherUsersSocketGetsNoRequestAndItsAnswerIsNotBelieved) {
    if (const std::string why = test::Squatter::SkipReason(); !why.empty()) GTEST_SKIP() << why;
    ::setenv("TMPDIR", folder.Path().c_str(), 1);
    const std::string runtime = folder.File("run");
    ::chmod(folder.Path().c_str(), 0755);
    ::chmod(runtime.c_str(), 0777);
    test::Squatter squatter;
    ASSERT_TRUE(squatter.Start(M470_SOCKET_SQUATTER, folder.Path(), runtime + "/M470", FormatReply({kExitDone, "1600\n", ""})));

    EXPECT_NE(RuntimeFolderNotice().find("may be written by other users (mode 777)"), std::string::npos) << RuntimeFolderNotice();
    Reply reply = RunCommandLine({"mouse", "get", "stage"}, settings);
    EXPECT_EQ(reply.exitCode, kExitDone) << reply.err;
    EXPECT_EQ(reply.out, "2\n") << "the mouse itself answered, not the stranger";

    ::chmod(runtime.c_str(), 0700);
    ASSERT_EQ(InstanceSocketPath(), runtime + "/M470");
    reply = RunCommandLine({"mouse", "get", "stage"}, settings);
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_EQ(reply.out, "");
    EXPECT_NE(reply.err.find("held by another user (uid 65534"), std::string::npos) << reply.err;
    ::unsetenv("TMPDIR");
}

// A run of its own on a mouse whose node it may not open: exit 1, the node
// and the fix on the error stream, nothing sent.
TEST_F(CtlRun, AProductWhoseNodeIsRefusedFailsTheRunWithItsNodeAndTheFix) {
    ASSERT_EQ(hub.RunCommand("unplug mouse"), "");
    ASSERT_EQ(hub.RunCommand("deny mouse"), "");
    ASSERT_EQ(hub.RunCommand("plug mouse"), "");
    hub.Traffic().Clear();
    for (const std::vector<std::string>& words : {std::vector<std::string>{"list"}, {"mouse", "get", "stage"}}) {
        const Reply reply = RunCommandLine(words, settings);
        EXPECT_EQ(reply.exitCode, kExitRefused) << words[0];
        EXPECT_EQ(reply.err.rfind("m470ctl: Gaming Mouse found at /virtual/hidraw", 0), 0u) << reply.err;
        EXPECT_NE(reply.err.find(", but permission to open it was refused.\n"), std::string::npos) << reply.err;
        EXPECT_NE(reply.err.find("/usr/lib/udev/rules.d/60-m470.rules"), std::string::npos) << reply.err;
    }
    EXPECT_TRUE(hub.Traffic().Entries().empty());
}

TEST_F(CtlRun, ACommandLongerThanTheWindowTakesIsBadUsageWhenAWindowRuns) {
    const std::vector<std::string> longName{"mouse", "profile", "rename", std::string(5000, 'y')};
    {
        FakeWindow window(FormatReply({kExitDone, "", ""}));
        const Reply reply = RunCommandLine(longName, settings);
        EXPECT_EQ(reply.exitCode, kExitUsage);
        EXPECT_NE(reply.err.find("longer than the window takes"), std::string::npos) << reply.err;
        EXPECT_TRUE(window.Received().empty()) << "nothing of it was sent";
    }
    // A run of its own takes it, and cuts the name as the strip does.
    const Reply reply = RunCommandLine(longName, settings);
    EXPECT_EQ(reply.exitCode, kExitDone) << reply.err;
    EXPECT_EQ(reply.out, std::string(64, 'y') + "\n");
}

TEST_F(CtlRun, UsageAndHelpNeedNoProducts) {
    hub.Traffic().Clear();
    Reply reply = RunCommandLine({"mouse", "set", "dpi"}, settings);
    EXPECT_EQ(reply.exitCode, kExitUsage);
    EXPECT_NE(reply.err.find("Try m470ctl --help"), std::string::npos);
    reply = RunCommandLine({"--help"}, settings);
    EXPECT_EQ(reply.exitCode, kExitDone);
    EXPECT_NE(reply.out.find("Exit status"), std::string::npos);
    // The function names are those a set takes: English, no language keys, each once.
    reply = RunCommandLine({"help", "keys"}, settings);
    EXPECT_NE(reply.out.find("  Page Up\n"), std::string::npos);
    EXPECT_EQ(reply.out.find("keyboard_key_"), std::string::npos);
    EXPECT_EQ(reply.out.find("关闭"), std::string::npos);
    const std::string keyboardPart = reply.out.substr(reply.out.find("Keyboard keys take:"));
    EXPECT_EQ(keyboardPart.find("  Gun 1\n"), std::string::npos) << "recoil functions are the mouse's";
    EXPECT_TRUE(hub.Traffic().Entries().empty());
}

}  // namespace
}  // namespace m470::ctl
