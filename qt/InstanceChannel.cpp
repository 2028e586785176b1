#include "qt/InstanceChannel.h"

#include <QDir>
#include <algorithm>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/CtlProtocol.h"
#include "platform/DebugTrace.h"
#include "platform/InstanceSocket.h"
#include "shell/CommandLine.h"

namespace m470::qt {
namespace {

// A socket of ours left behind by a copy that died; anything else at the
// path (a planted file, another user's socket) is not ours to remove.
bool IsOwnSocket(const QString& path) {
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

bool Exists(const QString& path) {
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0;
}

}  // namespace

std::string FormatInstanceMessage(const InstanceMessage& message) {
    return message.name + " " + std::to_string(message.wParam) + " " + std::to_string(message.lParam) + "\n";
}

// NAME [WPARAM [LPARAM]], decimal; a word that is no number in range, or
// one word too many, makes the line no message rather than a zero.
std::optional<InstanceMessage> ParseInstanceMessage(const std::string& line) {
    std::istringstream words(line);
    InstanceMessage message;
    if (!(words >> message.name)) return std::nullopt;
    std::string word;
    for (intptr_t* target : {&message.wParam, &message.lParam}) {
        if (!(words >> word)) return message;
        const auto number = ParseMessageNumber(word);
        if (!number) return std::nullopt;
        *target = *number;
    }
    if (words >> word) return std::nullopt;
    return message;
}

// The rule lives in the core, which m470ctl shares.
std::string RuntimeFolderNotice() { return m470::RuntimeFolderNotice(); }

QString InstanceSocketPath(std::string* error) { return QString::fromLocal8Bit(m470::InstanceSocketPath(error)); }

void RaiseDescriptorLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) DebugTrace::Write("cannot raise the descriptor limit");
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
    health_.setInterval(kListenCheckMs);
    connect(&health_, &QTimer::timeout, this, &InstanceServer::CheckHealth);
}

InstanceServer::~InstanceServer() { Close(); }

ListenResult InstanceServer::Listen() {
    lastError_.clear();
    closed_ = false;
    path_ = InstanceSocketPath(&lastError_);
    if (path_.isEmpty()) return ListenResult::Failed;
    if (static_cast<size_t>(path_.toLocal8Bit().size()) >= sizeof(sockaddr_un::sun_path)) {
        lastError_ = "the socket path " + path_.toStdString() + " is too long for a local socket";
        return ListenResult::Failed;
    }
    // Ask first: listening with access options replaces whatever socket
    // is at the path, a running copy's included.
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(300)) return ListenResult::OtherCopy;
    if (Exists(path_)) {
        // Nobody answers: a stale socket of a copy that died, if it is ours.
        if (!IsOwnSocket(path_)) {
            lastError_ = path_.toStdString() + " exists and is not a socket of this user";
            return ListenResult::Failed;
        }
        QLocalServer::removeServer(path_);
    }
    if (!server_.listen(path_)) {
        lastError_ = "cannot listen on " + path_.toStdString() + ": " + server_.errorString().toStdString();
        return ListenResult::Failed;
    }
    health_.start();
    return ListenResult::Listening;
}

void InstanceServer::Close() {
    closed_ = true;
    health_.stop();
    for (const Connection& connection : connections_)
        if (connection.socket) connection.socket->disconnectFromServer();
    connections_.clear();
    server_.close();  // the socket file goes with it, so a new start runs at once
}

// The server stops listening for good when accepting fails (descriptors
// used up); listen again as soon as it can.
void InstanceServer::CheckHealth() {
    if (closed_) return;
    if (!server_.isListening()) {
        if (IsOwnSocket(path_)) QLocalServer::removeServer(path_);
        if (server_.listen(path_)) DebugTrace::Write("instance socket: listening again");
    }
    // A line begun and never finished holds a connection: let it go.
    std::vector<QLocalSocket*> stalled;
    for (const Connection& connection : connections_)
        if (connection.socket && connection.socket->bytesAvailable() > 0 && connection.lastActivity.elapsed() > kIdleMs)
            stalled.push_back(connection.socket);
    for (QLocalSocket* socket : stalled) Drop(socket);
}

InstanceServer::Connection* InstanceServer::Find(QLocalSocket* socket) {
    for (Connection& connection : connections_)
        if (connection.socket == socket) return &connection;
    return nullptr;
}

void InstanceServer::Forget(QLocalSocket* socket) {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [socket](const Connection& c) { return c.socket.isNull() || c.socket == socket; }),
                       connections_.end());
}

void InstanceServer::Drop(QLocalSocket* socket) {
    Forget(socket);
    socket->abort();
    socket->deleteLater();
}

bool InstanceServer::MakeRoom() {
    Forget(nullptr);
    if (connections_.size() < kMaxConnections) return true;
    auto oldest = std::max_element(connections_.begin(), connections_.end(), [](const Connection& a, const Connection& b) {
        return a.lastActivity.elapsed() < b.lastActivity.elapsed();
    });
    if (oldest == connections_.end() || oldest->lastActivity.elapsed() < kIdleMs) return false;
    Drop(oldest->socket);
    return true;
}

void InstanceServer::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        if (!MakeRoom()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connections_.push_back({socket, {}});
        connections_.back().lastActivity.start();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            Forget(socket);
            socket->deleteLater();
        });
    }
}

void InstanceServer::OnReadable(QLocalSocket* socket) {
    if (Connection* connection = Find(socket)) connection->lastActivity.restart();
    bool tooLong = false;
    while (!tooLong && socket->canReadLine()) {
        const QByteArray raw = socket->readLine(kMaxLineBytes + 1);
        // Cut at the limit: what follows is the rest of that line, not a line of its own.
        tooLong = !raw.endsWith('\n');
        if (tooLong) break;
        const std::string line = raw.trimmed().toStdString();
        if (auto words = ctl::ParseRequest(line)) emit controlRequest(*words, socket);
        else if (auto message = ParseInstanceMessage(line)) emit messageReceived(*message, socket);
        if (socket->state() != QLocalSocket::ConnectedState) return;
    }
    if (tooLong || socket->bytesAvailable() > kMaxLineBytes) {
        DebugTrace::Write("instance socket: a line longer than 4 KiB, connection dropped");
        Drop(socket);
    }
}

void InstanceServer::Broadcast(const InstanceMessage& message) {
    const QByteArray line = QByteArray::fromStdString(FormatInstanceMessage(message));
    for (const Connection& connection : connections_)
        if (connection.socket && connection.socket->state() == QLocalSocket::ConnectedState) connection.socket->write(line);
}

bool SendToRunningInstance(const InstanceMessage& message, int timeoutMs, std::string* why) {
    const auto fail = [why](std::string text) {
        if (why != nullptr) *why = std::move(text);
        return false;
    };
    std::string error;
    const QString path = InstanceSocketPath(&error);
    if (path.isEmpty()) return fail(error);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return fail("no running M470 answers on " + path.toStdString());
    socket.write(QByteArray::fromStdString(FormatInstanceMessage(message)));
    if (!socket.waitForBytesWritten(timeoutMs)) return fail("the running M470 does not take the message");
    // A full server accepts and closes at once; the kernel took the line
    // all the same, so only the close tells.
    if (socket.waitForDisconnected(kRefusalWaitMs) || socket.state() != QLocalSocket::ConnectedState)
        return fail("the running M470 refused the connection (it holds too many); the message was not delivered");
    socket.disconnectFromServer();
    return true;
}

}  // namespace m470::qt
