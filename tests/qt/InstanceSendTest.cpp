// Sending one message to the running copy: what the sender is told when the
// copy cannot take it, and where the socket goes when the runtime folder
// named in the environment cannot be used.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTest>
#include <future>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "qt/InstanceChannel.h"
#include "support/Squatter.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
}

class InstanceSend : public ::testing::Test {
protected:
    void SetUp() override {
        runtimeFolder = folder.File("run");
        QDir().mkpath(QString::fromStdString(runtimeFolder));
        ::chmod(runtimeFolder.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
        ::setenv("TMPDIR", folder.Path().c_str(), 1);
        QObject::connect(&server, &InstanceServer::messageReceived,
                         [this](const InstanceMessage& message, InstanceClient*) { received.push_back(message); });
    }
    void TearDown() override {
        server.Close();
        Restore("XDG_RUNTIME_DIR", savedRuntime);
        Restore("TMPDIR", savedTmp);
    }
    // Sends from another thread while this one runs the server's events.
    bool Send(const InstanceMessage& message, std::string& why) {
        // Counted first: the message may arrive while the sender still waits.
        const size_t before = received.size();
        auto sent = std::async(std::launch::async, [&] { return SendToRunningInstance(message, 1000, &why); });
        while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
        const bool delivered = sent.get();
        // A message the sender handed over is taken in this thread's events.
        if (delivered) QTest::qWaitFor([&] { return received.size() > before; }, 30000);
        return delivered;
    }

    // The other user moves into the runtime folder while it is open for a moment.
    bool Squat(test::Squatter& squatter) {
        ::chmod(folder.Path().c_str(), 0755);
        ::chmod(runtimeFolder.c_str(), 0777);
        const bool started = squatter.Start(M470_SOCKET_SQUATTER, folder.Path(), runtimeFolder + "/M470", "forged 0 0");
        ::chmod(runtimeFolder.c_str(), 0700);
        return started;
    }

    std::optional<std::string> savedRuntime = Environment("XDG_RUNTIME_DIR");
    std::optional<std::string> savedTmp = Environment("TMPDIR");
    test::TempFolder folder{false};
    std::string runtimeFolder;
    InstanceServer server;
    std::vector<InstanceMessage> received;
};

TEST_F(InstanceSend, AFullServerDropsItsLongestIdleConnectionForANewOne) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    std::string why;
    EXPECT_TRUE(Send({"Game_Start", 0, 3}, why)) << why;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (InstanceMessage{"Game_Start", 0, 3}));

    std::vector<std::unique_ptr<QLocalSocket>> holders;
    for (size_t i = 0; i < kMaxConnections; ++i) {
        holders.push_back(std::make_unique<QLocalSocket>());
        holders.back()->connectToServer(InstanceSocketPath());
        holders.back()->waitForConnected(500);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.ConnectionCount() == kMaxConnections; }, 30000));
    // The first holder has been idle longest: it goes, the sender gets through.
    received.clear();
    EXPECT_TRUE(Send({"Game_Kill", 0, 4}, why)) << why;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].name, "Game_Kill");
    QTest::qWaitFor([&] { return holders.front()->state() != QLocalSocket::ConnectedState; }, 30000);
    EXPECT_EQ(holders.front()->state(), QLocalSocket::UnconnectedState);
    for (size_t i = 1; i < holders.size(); ++i) EXPECT_EQ(holders[i]->state(), QLocalSocket::ConnectedState) << i;
    holders.clear();

    server.Close();
    EXPECT_FALSE(Send({"Game_End", 0, 1}, why));
    EXPECT_NE(why.find("no running M470"), std::string::npos) << why;
}

TEST_F(InstanceSend, ARelativeRuntimeFolderCountsAsNone) {
    const std::string privateSocket = folder.File("M470-" + std::to_string(::getuid())) + "/M470";
    char* startedIn = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
    ::setenv("XDG_RUNTIME_DIR", "run", 1);  // a folder of that name is right here
    EXPECT_EQ(InstanceSocketPath().toStdString(), privateSocket);
    const std::string notice = RuntimeFolderNotice();
    EXPECT_NE(notice.find("\"run\" is not an absolute path"), std::string::npos) << notice;
    EXPECT_NE(notice.find(folder.File("M470-")), std::string::npos) << notice;
    EXPECT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    std::string why;
    EXPECT_TRUE(Send({"Game_Death", 1, 2}, why)) << why;
    EXPECT_EQ(received.size(), 1u);
    EXPECT_FALSE(QFile::exists("run/M470"));
    server.Close();
    EXPECT_EQ(::chdir(startedIn), 0);
    std::free(startedIn);

    // A missing absolute folder is told too; a usable one is silent.
    ::setenv("XDG_RUNTIME_DIR", folder.File("gone").c_str(), 1);
    EXPECT_EQ(InstanceSocketPath().toStdString(), privateSocket);
    EXPECT_NE(RuntimeFolderNotice().find("does not exist"), std::string::npos);
    ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    EXPECT_EQ(InstanceSocketPath().toStdString(), runtimeFolder + "/M470");
    EXPECT_EQ(RuntimeFolderNotice(), "");
}

// A runtime folder others may write into, or of another user, lets a
// stranger replace the socket: it is passed over, and the start says why.
TEST_F(InstanceSend, ARuntimeFolderOthersMayWriteIntoIsPassedOver) {
    const std::string privateSocket = folder.File("M470-" + std::to_string(::getuid())) + "/M470";
    ::chmod(runtimeFolder.c_str(), 0777);
    EXPECT_EQ(InstanceSocketPath().toStdString(), privateSocket);
    EXPECT_NE(RuntimeFolderNotice().find("may be written by other users (mode 777)"), std::string::npos) << RuntimeFolderNotice();
    ::chmod(runtimeFolder.c_str(), 0775);
    EXPECT_EQ(InstanceSocketPath().toStdString(), privateSocket);
    ::chmod(runtimeFolder.c_str(), 0755);  // readable is fine: nobody else can put a file there
    EXPECT_EQ(InstanceSocketPath().toStdString(), runtimeFolder + "/M470");
    EXPECT_EQ(RuntimeFolderNotice(), "");
    if (::geteuid() == 0 && ::chown(runtimeFolder.c_str(), test::Squatter::kOtherUser, test::Squatter::kOtherUser) == 0) {
        EXPECT_EQ(InstanceSocketPath().toStdString(), privateSocket);
        EXPECT_NE(RuntimeFolderNotice().find("belongs to another user (uid 65534)"), std::string::npos) << RuntimeFolderNotice();
        EXPECT_EQ(::chown(runtimeFolder.c_str(), 0, 0), 0);
    }
}

// Another user's socket where the running copy's should be: a new start
// does not hand over to it, and a message is not sent to it.
TEST_F(InstanceSend, AnotherUsersSocketIsNoRunningCopy) {
    if (const std::string why = test::Squatter::SkipReason(); !why.empty()) GTEST_SKIP() << why;
    test::Squatter squatter;
    ASSERT_TRUE(Squat(squatter));
    EXPECT_EQ(server.Listen(), ListenResult::Failed);
    EXPECT_NE(server.LastError().find("held by another user (uid 65534"), std::string::npos) << server.LastError();
    std::string why;
    EXPECT_FALSE(SendToRunningInstance({"M470", 0, 1}, 1000, &why));
    EXPECT_NE(why.find("held by another user (uid 65534"), std::string::npos) << why;
}

// The stranger replaces the running window's socket: the window notices on
// its next check and makes its own again; senders reach it once more.
TEST_F(InstanceSend, TheWindowTakesBackASocketAnotherUserReplaced) {
    if (const std::string why = test::Squatter::SkipReason(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    test::Squatter squatter;
    ASSERT_TRUE(Squat(squatter));
    const std::string path = runtimeFolder + "/M470";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !test::Squatter::Listening(path); }, 30000));
    EXPECT_TRUE(server.IsListening());
    std::string why;
    EXPECT_TRUE(Send({"Game_Start", 0, 3}, why)) << why;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (InstanceMessage{"Game_Start", 0, 3}));
}

}  // namespace
}  // namespace m470::qt
