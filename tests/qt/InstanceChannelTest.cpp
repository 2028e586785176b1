// The local socket of the running copy under hostile use: floods of
// connections, endless lines, a lost listening socket, a path it cannot use.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QTest>
#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <atomic>
#include <thread>

#include "ctl/CtlProtocol.h"
#include "platform/DebugTrace.h"
#include "qt/InstanceChannel.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

// Long enough for a loaded machine; a wait ends as soon as its condition holds.
constexpr int kGenerousMs = 30000;

class InstanceSocket : public ::testing::Test {
protected:
    void SetUp() override {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime != nullptr) savedRuntime = runtime;
        runtimeFolder = folder.File("run");
        QDir().mkpath(QString::fromStdString(runtimeFolder));
        ::chmod(runtimeFolder.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
        QObject::connect(&server, &InstanceServer::messageReceived,
                         [this](const InstanceMessage& message, InstanceClient*) { received.push_back(message); });
    }
    void TearDown() override {
        server.Close();
        if (savedRuntime) ::setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
    }
    std::unique_ptr<QLocalSocket> Connect() {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(InstanceSocketPath());
        socket->waitForConnected(500);
        return socket;
    }
    // Waits until the message arrives or the time is up.
    bool Arrives(const InstanceMessage& message, int timeoutMs) {
        received.clear();
        auto client = Connect();
        client->write(QByteArray::fromStdString(FormatInstanceMessage(message)));
        client->flush();
        return QTest::qWaitFor([&] { return !received.empty(); }, timeoutMs) && received.back() == message;
    }

    test::TempFolder folder{false};
    std::string runtimeFolder;
    std::optional<std::string> savedRuntime;
    InstanceServer server;
    std::vector<InstanceMessage> received;
};

TEST_F(InstanceSocket, ConnectionsAreCappedAndClosedOnesForgotten) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 40; ++i) clients.push_back(Connect());
    // Until the server has taken or refused every one of them.
    const auto stillConnected = [&] {
        return std::count_if(clients.begin(), clients.end(),
                             [](const auto& c) { return c->state() == QLocalSocket::ConnectedState; });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return stillConnected() == static_cast<long>(kMaxConnections); }, kGenerousMs));
    EXPECT_EQ(server.ConnectionCount(), kMaxConnections);
    clients.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.ConnectionCount() == 0; }, kGenerousMs));  // closed ones leave the list
    EXPECT_TRUE(Arrives({"Game_Start", 0, 3}, kGenerousMs));
}

TEST_F(InstanceSocket, ALineWithoutAnEndIsCutOffAt4KiB) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    auto flood = Connect();
    flood->write(QByteArray(static_cast<int>(kMaxLineBytes) + 100, 'x'));
    flood->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood->state() != QLocalSocket::ConnectedState; }, kGenerousMs));
    EXPECT_NE(flood->state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(server.ConnectionCount(), 0u);
    // A line just under the limit is still taken.
    auto client = Connect();
    client->write("Game_End 1 " + QByteArray(4000, ' ') + "2\n");
    client->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, kGenerousMs));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (InstanceMessage{"Game_End", 1, 2}));
}

// The server looks again only while a look is due: a line begun and never
// finished still loses its connection once it is kIdleMs old, while a
// connection with nothing begun is kept.
TEST_F(InstanceSocket, AHalfSentLineIsDroppedWhenOldAndAQuietConnectionKept) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    auto quiet = Connect();
    auto stalled = Connect();
    stalled->write("Game_End 1");
    stalled->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stalled->state() != QLocalSocket::ConnectedState; }, kGenerousMs));
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(quiet->state(), QLocalSocket::ConnectedState);
    EXPECT_TRUE(received.empty());
}

// A line over the limit that does end, sent at once, is no message and no
// pieces of one: its tail must not be read as a line of its own.
TEST_F(InstanceSocket, ALongLineWithItsEndArrivingAtOnceEndsTheConnection) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    auto client = Connect();
    client->write(QByteArray(static_cast<int>(kMaxLineBytes) + 1, 'x') + "Game_Start 0 3\nGame_End 1 2\n");
    client->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->state() != QLocalSocket::ConnectedState; }, kGenerousMs));
    EXPECT_NE(client->state(), QLocalSocket::ConnectedState);
    EXPECT_TRUE(received.empty()) << received.front().name;
    EXPECT_EQ(server.ConnectionCount(), 0u);
}

size_t OpenDescriptors() {
    size_t count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (::readdir(folder) != nullptr) ++count;
        ::closedir(folder);
    }
    return count;
}

TEST_F(InstanceSocket, ListensAgainAfterRunningOutOfDescriptors) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = OpenDescriptors() + 8;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    // Connections wait in the backlog until accepted; accepting then fails.
    DebugTrace::Clear();
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 12; ++i) clients.push_back(Connect());
    const auto failedAccepts = [] {
        const auto lines = DebugTrace::Lines();
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.find("accepting failed") != std::string::npos; });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return failedAccepts() > 0; }, kGenerousMs));
    QTest::qWait(1200);  // past a health check that listens again with descriptors still short
    // The waiting connection does not wake the server again and again: at
    // most one failure for each connection that was ever made.
    EXPECT_LE(failedAccepts(), static_cast<long>(clients.size()));
    clients.clear();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.IsListening(); }, kGenerousMs));
    EXPECT_TRUE(Arrives({"Game_Kill", 2, 5}, kGenerousMs));
}

TEST_F(InstanceSocket, ListensAgainWhenTheServerStops) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    server.DropListeningSocket();
    EXPECT_FALSE(QFile::exists(InstanceSocketPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(InstanceSocketPath()); }, kGenerousMs));  // made again
    EXPECT_TRUE(Arrives({"M470", 0, 1}, kGenerousMs));
}

TEST_F(InstanceSocket, OnlyARunningCopyCountsAsOne) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    InstanceServer second;
    EXPECT_EQ(second.Listen(), ListenResult::OtherCopy);
    server.Close();

    // A file planted where the socket goes is neither a copy nor removed.
    folder.Write("run/M470", "planted");
    InstanceServer third;
    EXPECT_EQ(third.Listen(), ListenResult::Failed);
    EXPECT_NE(third.LastError().find("not a socket"), std::string::npos) << third.LastError();
    EXPECT_EQ(folder.Read("run/M470"), "planted");

    // A runtime folder whose path does not fit a local socket address.
    const std::string deep = folder.File(std::string(110, 'd'));
    QDir().mkpath(QString::fromStdString(deep));
    ::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    InstanceServer fourth;
    EXPECT_EQ(fourth.Listen(), ListenResult::Failed);
    EXPECT_NE(fourth.LastError().find("too long"), std::string::npos) << fourth.LastError();
}

TEST_F(InstanceSocket, WithoutARuntimeFolderTheSocketLivesInAPrivateFolder) {
    const char* tmp = std::getenv("TMPDIR");
    const std::optional<std::string> savedTmp = tmp ? std::optional<std::string>(tmp) : std::nullopt;
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", folder.Path().c_str(), 1);
    const std::string privateFolder = folder.File("M470-" + std::to_string(::getuid()));
    std::string error;
    EXPECT_EQ(InstanceSocketPath(&error).toStdString(), privateFolder + "/M470") << error;
    struct stat info {};
    ASSERT_EQ(::stat(privateFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    server.Close();

    // Opened up (by someone else's doing): refused, not used.
    ::chmod(privateFolder.c_str(), 0777);
    EXPECT_TRUE(InstanceSocketPath(&error).isEmpty());
    InstanceServer refused;
    EXPECT_EQ(refused.Listen(), ListenResult::Failed);
    EXPECT_NE(refused.LastError().find("open to other users"), std::string::npos) << refused.LastError();
    if (savedTmp) ::setenv("TMPDIR", savedTmp->c_str(), 1);
    else ::unsetenv("TMPDIR");
}

// A client that asks and never reads: the window's unsent replies to it stay
// under the bound, the connection is closed past it, and others are served.
TEST_F(InstanceSocket, UnreadRepliesEndTheConnectionAt64KiB) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    const std::string answer = ctl::FormatReply({0, std::string(500, 'a'), ""});  // about what a "get" answers
    qint64 mostUnsent = 0;
    size_t requests = 0;
    QObject::connect(&server, &InstanceServer::controlRequest, [&](const std::vector<std::string>&, InstanceClient* from) {
        ++requests;
        mostUnsent = std::max(mostUnsent, from->BytesToWrite());
        server.Reply(from, answer);
    });
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", InstanceSocketPath().toLocal8Bit().constData());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::atomic<bool> sent{false};
    std::thread asker([&] {
        const std::string request = ctl::FormatRequest({"mouse", "get"});
        for (int i = 0; i < 20000; ++i)
            if (::send(client, request.data(), request.size(), MSG_NOSIGNAL) < 0) break;  // closed by the window
        sent = true;
    });
    for (int i = 0; i < 1500 && (!sent || server.ConnectionCount() > 0); ++i) QTest::qWait(20);
    asker.join();
    EXPECT_EQ(server.ConnectionCount(), 0u) << "the connection was closed";
    EXPECT_LE(mostUnsent, kMaxUnsentBytes);
    EXPECT_GT(requests, static_cast<size_t>(kMaxUnsentBytes) / answer.size()) << "the bound, not a lost line, ended it";
    // What the client can still read ends: the window holds nothing more for it.
    const timeval patience{5, 0};  // a window that kept the connection would leave recv waiting
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char buffer[65536];
    size_t unread = 0;
    for (ssize_t got; (got = ::recv(client, buffer, sizeof buffer, 0)) > 0;) unread += static_cast<size_t>(got);
    ::close(client);
    EXPECT_LT(unread, 20000 * answer.size());
    EXPECT_TRUE(Arrives({"Game_Start", 0, 3}, kGenerousMs));
}

// A client that reads slowly: the kernel takes only part of each reply, the
// window keeps the rest and sends it as room comes, and the client gets
// every reply whole and in order on a connection that stays open.
TEST_F(InstanceSocket, ASlowReaderGetsEveryReplyWholeAndInOrder) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    constexpr int kRequests = 40;  // about 40 KiB of replies: under the unread bound
    std::string expected;
    qint64 mostHeld = 0;
    QPointer<InstanceClient> asker;
    QObject::connect(&server, &InstanceServer::controlRequest, [&](const std::vector<std::string>&, InstanceClient* from) {
        if (!asker) {
            asker = from;
            const int little = 4096;  // the kernel holds only a few KiB for this connection
            ::setsockopt(from->Fd(), SOL_SOCKET, SO_SNDBUF, &little, sizeof little);
        }
        const int n = static_cast<int>(expected.size() / 1000);
        std::string line = "reply " + std::to_string(n) + " ";
        line += std::string(999 - line.size(), static_cast<char>('a' + n % 26)) + "\n";
        expected += line;
        server.Reply(from, line);
        mostHeld = std::max(mostHeld, from->BytesToWrite());
    });
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", InstanceSocketPath().toLocal8Bit().constData());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string requests;
    for (int i = 0; i < kRequests; ++i) requests += ctl::FormatRequest({"mouse", "get"});
    ASSERT_EQ(::send(client, requests.data(), requests.size(), MSG_NOSIGNAL), static_cast<ssize_t>(requests.size()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return expected.size() == kRequests * 1000u; }, kGenerousMs));
    EXPECT_GT(mostHeld, 0) << "the kernel took every reply at once: nothing was kept for later";
    std::string got;
    char piece[700];
    for (int wakes = 0; got.size() < expected.size() && wakes < 15000; ++wakes) {
        QTest::qWait(2);
        const ssize_t n = ::recv(client, piece, sizeof piece, 0);
        if (n > 0) got.append(piece, static_cast<size_t>(n));
        else if (n == 0) break;
    }
    ::close(client);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "replies arrived out of order or changed";
    ASSERT_TRUE(asker);
    EXPECT_EQ(asker->BytesToWrite(), 0);
}

// The socket file replaced under a running window (removed and made again by
// someone): on its next check the window makes its own again.
TEST_F(InstanceSocket, ASocketReplacedUnderTheWindowIsMadeAgain) {
    ASSERT_EQ(server.Listen(), ListenResult::Listening) << server.LastError();
    const std::string path = InstanceSocketPath().toStdString();
    ::unlink(path.c_str());
    const int impostor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(impostor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(impostor, 4), 0);
    const FileIdentity planted = IdentityOf(path);
    EXPECT_TRUE(QTest::qWaitFor([&] { return IdentityOf(path) != planted; }, kGenerousMs));
    ::close(impostor);
    EXPECT_TRUE(server.IsListening());
    EXPECT_TRUE(Arrives({"Game_End", 1, 2}, kGenerousMs));
}

}  // namespace
}  // namespace m470::qt
