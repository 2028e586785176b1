#include "qt/InstanceChannel.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
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
    connect(&folderWatch_, &QFileSystemWatcher::directoryChanged, this, &InstanceServer::CheckHealth);
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
    if (probe.waitForConnected(300)) {
        // Only a copy of this user's is one to hand over to.
        if (PeerIsThisUser(static_cast<int>(probe.socketDescriptor()), &lastError_)) return ListenResult::OtherCopy;
        lastError_ = path_.toStdString() + ": " + lastError_;
        return ListenResult::Failed;
    }
    if (Exists(path_)) {
        // Nobody answers: a stale socket of a copy that died, if it is ours.
        if (!IsOwnSocket(path_)) {
            lastError_ = path_.toStdString() + " exists and is not a socket of this user";
            return ListenResult::Failed;
        }
        QLocalServer::removeServer(path_);
    }
    if (!Relisten()) {
        lastError_ = "cannot listen on " + path_.toStdString() + ": " + server_.errorString().toStdString();
        return ListenResult::Failed;
    }
    if (const QString folder = QFileInfo(path_).absolutePath(); !folderWatch_.directories().contains(folder))
        folderWatch_.addPath(folder);
    return ListenResult::Listening;
}

bool InstanceServer::Relisten() {
    if (!server_.listen(path_)) return false;
    listening_ = IdentityOf(path_.toStdString());
    return true;
}

void InstanceServer::Close() {
    closed_ = true;
    health_.stop();
    if (!folderWatch_.directories().isEmpty()) folderWatch_.removePaths(folderWatch_.directories());
    for (const Connection& connection : connections_)
        if (connection.socket) connection.socket->disconnectFromServer();
    connections_.clear();
    server_.close();  // the socket file goes with it, so a new start runs at once
}

// The server stops listening for good when accepting fails (descriptors
// used up); listen again as soon as it can.
void InstanceServer::CheckHealth() {
    if (closed_) return;
    ListenAgainWhenLost();
    // A line begun and never finished holds a connection: let it go.
    std::vector<QLocalSocket*> stalled;
    for (const Connection& connection : connections_)
        if (connection.socket && connection.socket->bytesAvailable() > 0 && connection.lastActivity.elapsed() > kIdleMs)
            stalled.push_back(connection.socket);
    for (QLocalSocket* socket : stalled) Drop(socket);
    ArmHealth();
}

void InstanceServer::ArmHealth() {
    bool due = !closed_ && !server_.isListening();
    for (const Connection& connection : connections_)
        due = due || (!closed_ && connection.socket && connection.socket->bytesAvailable() > 0);
    if (!due) health_.stop();
    else if (!health_.isActive()) health_.start();
}

// Checked when the socket's folder changed, and on the health timer while it
// runs: a look at one path costs nothing.
void InstanceServer::ListenAgainWhenLost() {
    const bool replaced = server_.isListening() && IdentityOf(path_.toStdString()) != listening_;
    if (server_.isListening() && !replaced) return;
    if (replaced) {
        DebugTrace::Write("instance socket: its path holds another file now; making it again");
        server_.close();
    }
    // The folder is ours (it is checked before use): whatever now sits at
    // our socket's name is removed, another user's socket too.
    if (Exists(path_)) QLocalServer::removeServer(path_);
    if (Relisten()) {
        DebugTrace::Write("instance socket: listening again");
        return;
    }
    if (!replaced) return;  // tried again on the next tick; tell once
    lastError_ = "the socket " + path_.toStdString() + " was taken away and cannot be made again: " +
                 server_.errorString().toStdString() + "; m470ctl and a second start cannot reach this window";
    std::fprintf(stderr, "m470: %s\n", lastError_.c_str());
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

// Idle holders must not lock out the client that has something to say.
void InstanceServer::MakeRoom() {
    Forget(nullptr);
    if (connections_.size() < kMaxConnections) return;
    auto oldest = std::max_element(connections_.begin(), connections_.end(), [](const Connection& a, const Connection& b) {
        return a.lastActivity.elapsed() < b.lastActivity.elapsed();
    });
    DebugTrace::Write("instance socket: connection table full, the longest-idle connection dropped");
    Drop(oldest->socket);
}

void InstanceServer::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        MakeRoom();
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
    ArmHealth();  // a line begun: looked at again until it is finished or too old
}

void InstanceServer::Broadcast(const InstanceMessage& message) {
    const std::string line = FormatInstanceMessage(message);
    std::vector<QLocalSocket*> listeners;
    for (const Connection& connection : connections_)
        if (connection.socket) listeners.push_back(connection.socket);
    for (QLocalSocket* socket : listeners) Reply(socket, line);
}

void InstanceServer::Reply(QLocalSocket* to, const std::string& line) {
    if (to == nullptr || to->state() != QLocalSocket::ConnectedState) return;
    to->write(line.data(), static_cast<qint64>(line.size()));
    if (to->bytesToWrite() <= kMaxUnsentBytes) return;
    DebugTrace::Write("instance socket: a client left 64 KiB of replies unread, connection dropped");
    Drop(to);
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
    if (std::string stranger; !PeerIsThisUser(static_cast<int>(socket.socketDescriptor()), &stranger))
        return fail(path.toStdString() + ": " + stranger);
    socket.write(QByteArray::fromStdString(FormatInstanceMessage(message)));
    if (!socket.waitForBytesWritten(timeoutMs)) return fail("the running M470 does not take the message");
    // A full server accepts and closes at once; the kernel took the line
    // all the same, so only the close tells.
    if (socket.waitForDisconnected(kRefusalWaitMs) || socket.state() != QLocalSocket::ConnectedState)
        return fail("the running M470 refused the connection; the message was not delivered");
    socket.disconnectFromServer();
    return true;
}

}  // namespace m470::qt
