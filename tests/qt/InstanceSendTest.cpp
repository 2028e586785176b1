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
                         [this](const InstanceMessage& message, QLocalSocket*) { received.push_back(message); });
    }
    void TearDown() override {
        server.Close();
        Restore("XDG_RUNTIME_DIR", savedRuntime);
        Restore("TMPDIR", savedTmp);
    }
    // Sends from another thread while this one runs the server's events.
    bool Send(const InstanceMessage& message, std::string& why) {
        auto sent = std::async(std::launch::async, [&] { return SendToRunningInstance(message, 1000, &why); });
        while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
        QTest::qWait(50);
        return sent.get();
    }

    std::optional<std::string> savedRuntime = Environment("XDG_RUNTIME_DIR");
    std::optional<std::string> savedTmp = Environment("TMPDIR");
    test::TempFolder folder{false};
    std::string runtimeFolder;
    InstanceServer server;
    std::vector<InstanceMessage> received;
};

TEST_F(InstanceSend, AFullServerIsAFailedSendAndAFreedOneTakesTheMessage) {
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
    received.clear();
    EXPECT_FALSE(Send({"Game_Kill", 0, 4}, why));
    EXPECT_NE(why.find("refused"), std::string::npos) << why;
    EXPECT_TRUE(received.empty());

    holders.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.ConnectionCount() == 0; }, 30000));
    EXPECT_TRUE(Send({"Game_Kill", 0, 4}, why)) << why;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].name, "Game_Kill");

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

}  // namespace
}  // namespace m470::qt
