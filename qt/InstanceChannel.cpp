#include "qt/InstanceChannel.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/CtlProtocol.h"
#include "platform/DebugTrace.h"
#include "platform/InstanceSocket.h"
#include "platform/LocalSocket.h"
#include "shell/CommandLine.h"

namespace m470::qt {
namespace {

// A socket of ours left behind by a copy that died; anything else at the
// path (a planted file, another user's socket) is not ours to remove.
bool IsOwnSocket(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Waiting connections the kernel holds until they are accepted, as many as
// the toolkit's local server allowed.
constexpr int kListenBacklog = 50;
// How long a new start waits for a running copy to answer its connect.
constexpr int kProbeMs = 300;

// True when the peer closes the connection within waitMs. What it sends
// meanwhile (a broadcast to every listener) is not an answer and is passed over.
bool ClosedWithin(int fd, int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    char discarded[4096];
    for (int left; (left = MillisecondsLeft(deadline)) > 0;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, left);
        if (ready <= 0) continue;  // interrupted, or the wait is over
        const ssize_t got = ::recv(fd, discarded, sizeof discarded, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
    }
    return false;
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
    health_.setInterval(kListenCheckMs);
    connect(&health_, &QTimer::timeout, this, &InstanceServer::CheckHealth);
    connect(&folderWatch_, &QFileSystemWatcher::directoryChanged, this, &InstanceServer::CheckHealth);
}

InstanceServer::~InstanceServer() { Close(); }

ListenResult InstanceServer::Listen() {
    lastError_.clear();
    closed_ = false;
    path_ = m470::InstanceSocketPath(&lastError_);
    if (path_.empty()) return ListenResult::Failed;
    if (path_.size() >= sizeof(sockaddr_un::sun_path)) {
        lastError_ = "the socket path " + path_ + " is too long for a local socket";
        return ListenResult::Failed;
    }
    // Ask first: listening replaces whatever socket is at the path, a
    // running copy's included.
    if (const Descriptor probe(ConnectLocalSocketWithin(path_, kProbeMs)); probe.Get() >= 0) {
        // Only a copy of this user's is one to hand over to.
        if (PeerIsThisUser(probe.Get(), &lastError_)) return ListenResult::OtherCopy;
        lastError_ = path_ + ": " + lastError_;
        return ListenResult::Failed;
    }
    if (Exists(path_)) {
        // Nobody answers: a stale socket of a copy that died, if it is ours.
        if (!IsOwnSocket(path_)) {
            lastError_ = path_ + " exists and is not a socket of this user";
            return ListenResult::Failed;
        }
        ::unlink(path_.c_str());
    }
    if (!Relisten()) {
        lastError_ = "cannot listen on " + path_ + ": " + std::strerror(errno);
        return ListenResult::Failed;
    }
    if (const QString folder = QFileInfo(QString::fromStdString(path_)).absolutePath(); !folderWatch_.directories().contains(folder))
        folderWatch_.addPath(folder);
    return ListenResult::Listening;
}

// errno tells why when it fails.
bool InstanceServer::Relisten() {
    const int fd = BindLocalSocket(path_, kListenBacklog);
    if (fd < 0) return false;
    listener_.Reset(fd);
    listening_ = IdentityOf(path_);
    acceptor_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(acceptor_.get(), &QSocketNotifier::activated, this, &InstanceServer::OnConnection);
    return true;
}

void InstanceServer::LoseListeningSocket() {
    acceptor_.reset();  // before its descriptor closes
    if (IsListening() && IdentityOf(path_) == listening_) ::unlink(path_.c_str());
    listener_.Reset();
    ArmHealth();
}

void InstanceServer::Close() {
    closed_ = true;
    health_.stop();
    if (!folderWatch_.directories().isEmpty()) folderWatch_.removePaths(folderWatch_.directories());
    std::vector<Connection> open;
    open.swap(connections_);
    for (const Connection& connection : open)
        if (connection.socket) connection.socket->Close();
    LoseListeningSocket();  // the socket file goes with it, so a new start runs at once
}

// Listening stops when accepting fails (descriptors used up); listen again
// as soon as it can.
void InstanceServer::CheckHealth() {
    if (closed_) return;
    ListenAgainWhenLost();
    // A line begun and never finished holds a connection: let it go.
    std::vector<InstanceClient*> stalled;
    for (const Connection& connection : connections_)
        if (connection.socket && connection.socket->BytesAvailable() > 0 && connection.lastActivity.elapsed() > kIdleMs)
            stalled.push_back(connection.socket);
    for (InstanceClient* socket : stalled) Drop(socket);
    ArmHealth();
}

void InstanceServer::ArmHealth() {
    bool due = !closed_ && !IsListening();
    for (const Connection& connection : connections_)
        due = due || (!closed_ && connection.socket && connection.socket->BytesAvailable() > 0);
    if (!due) health_.stop();
    else if (!health_.isActive()) health_.start();
}

// Checked when the socket's folder changed, and on the health timer while it
// runs: a look at one path costs nothing.
void InstanceServer::ListenAgainWhenLost() {
    const bool replaced = IsListening() && IdentityOf(path_) != listening_;
    if (IsListening() && !replaced) return;
    if (replaced) {
        DebugTrace::Write("instance socket: its path holds another file now; making it again");
        LoseListeningSocket();
    }
    // The folder is ours (it is checked before use): whatever now sits at
    // our socket's name is removed, another user's socket too.
    if (Exists(path_)) ::unlink(path_.c_str());
    if (Relisten()) {
        DebugTrace::Write("instance socket: listening again");
        return;
    }
    if (!replaced) return;  // tried again on the next tick; tell once
    lastError_ = "the socket " + path_ + " was taken away and cannot be made again: " + std::strerror(errno) +
                 "; m470ctl and a second start cannot reach this window";
    std::fprintf(stderr, "m470: %s\n", lastError_.c_str());
}

InstanceServer::Connection* InstanceServer::Find(InstanceClient* socket) {
    for (Connection& connection : connections_)
        if (connection.socket == socket) return &connection;
    return nullptr;
}

void InstanceServer::Forget(InstanceClient* socket) {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [socket](const Connection& c) { return c.socket.isNull() || c.socket == socket; }),
                       connections_.end());
}

void InstanceServer::Drop(InstanceClient* socket) {
    Forget(socket);
    socket->Abort();
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
    for (;;) {
        const int fd = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Adopt(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        // Descriptors used up: the waiting connection would wake the
        // notifier again at once, for ever. Stop listening, as the toolkit's
        // server did; the health check listens again.
        DebugTrace::Printf("instance socket: accepting failed (%s), listening again later", std::strerror(errno));
        LoseListeningSocket();
        return;
    }
}

void InstanceServer::Adopt(int fd) {
    MakeRoom();
    auto* socket = new InstanceClient(fd, this);
    connections_.push_back({socket, {}});
    connections_.back().lastActivity.start();
    connect(socket, &InstanceClient::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &InstanceClient::disconnected, this, [this, socket] {
        Forget(socket);
        socket->deleteLater();
    });
}

void InstanceServer::OnReadable(InstanceClient* socket) {
    if (Connection* connection = Find(socket)) connection->lastActivity.restart();
    const QPointer<InstanceClient> alive(socket);  // a handler may run a dialog's event loop
    bool tooLong = false;
    while (!tooLong && socket->CanReadLine()) {
        const QByteArray raw = socket->ReadLine(kMaxLineBytes + 1);
        // Cut at the limit: what follows is the rest of that line, not a line of its own.
        tooLong = !raw.endsWith('\n');
        if (tooLong) break;
        const std::string line = raw.trimmed().toStdString();
        if (auto words = ctl::ParseRequest(line)) emit controlRequest(*words, socket);
        else if (auto message = ParseInstanceMessage(line)) emit messageReceived(*message, socket);
        if (!alive || !socket->IsConnected()) return;
    }
    if (tooLong || socket->BytesAvailable() > kMaxLineBytes) {
        DebugTrace::Write("instance socket: a line longer than 4 KiB, connection dropped");
        Drop(socket);
    }
    ArmHealth();  // a line begun: looked at again until it is finished or too old
}

void InstanceServer::Broadcast(const InstanceMessage& message) {
    const std::string line = FormatInstanceMessage(message);
    std::vector<QPointer<InstanceClient>> listeners;
    for (const Connection& connection : connections_)
        if (connection.socket) listeners.push_back(connection.socket);
    for (const QPointer<InstanceClient>& socket : listeners) Reply(socket, line);
}

void InstanceServer::Reply(InstanceClient* to, const std::string& line) {
    if (to == nullptr || !to->IsConnected()) return;
    to->Write(line.data(), static_cast<qint64>(line.size()));
    if (to->BytesToWrite() <= kMaxUnsentBytes) return;
    DebugTrace::Write("instance socket: a client left 64 KiB of replies unread, connection dropped");
    Drop(to);
}

bool SendToRunningInstance(const InstanceMessage& message, int timeoutMs, std::string* why) {
    const auto fail = [why](std::string text) {
        if (why != nullptr) *why = std::move(text);
        return false;
    };
    std::string error;
    const std::string path = m470::InstanceSocketPath(&error);
    if (path.empty()) return fail(error);
    const Descriptor socket(ConnectLocalSocketWithin(path, timeoutMs));
    if (socket.Get() < 0) return fail("no running M470 answers on " + path);
    if (std::string stranger; !PeerIsThisUser(socket.Get(), &stranger)) return fail(path + ": " + stranger);
    // The send waits at most timeoutMs for room (see ConnectLocalSocketWithin).
    if (!SendAll(socket.Get(), FormatInstanceMessage(message))) return fail("the running M470 does not take the message");
    // A full server accepts and closes at once; the kernel took the line
    // all the same, so only the close tells.
    if (ClosedWithin(socket.Get(), kRefusalWaitMs))
        return fail("the running M470 refused the connection; the message was not delivered");
    return true;
}

}  // namespace m470::qt
