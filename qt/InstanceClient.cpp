#include "qt/InstanceClient.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace m470::qt {
namespace {

// Read per wake, and held unread at most: a peer that never stops sending
// cannot hold the event loop or fill memory; the rest waits in the kernel.
constexpr qsizetype kReadPerWake = 64 * 1024;

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

}  // namespace

InstanceClient::InstanceClient(int fd, QObject* parent)
    : QObject(parent), fd_(fd), reader_(fd, QSocketNotifier::Read), writer_(fd, QSocketNotifier::Write) {
    writer_.setEnabled(false);  // only while something waits to be sent
    connect(&reader_, &QSocketNotifier::activated, this, &InstanceClient::OnReadable);
    connect(&writer_, &QSocketNotifier::activated, this, &InstanceClient::OnWritable);
}

InstanceClient::~InstanceClient() { Shut(); }

// The notifiers go quiet before the descriptor closes: a closed one would
// report itself ready for ever.
void InstanceClient::Shut() {
    reader_.setEnabled(false);
    writer_.setEnabled(false);
    fd_.Reset();
    output_.clear();
}

void InstanceClient::Lost() {
    Shut();
    emit disconnected();
}

void InstanceClient::OnReadable() {
    char chunk[16 * 1024];
    qsizetype taken = 0;
    bool ended = false;
    while (taken < kReadPerWake && input_.size() < kReadPerWake) {
        const ssize_t got = ::recv(fd_.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            input_.append(chunk, got);
            taken += got;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        ended = got == 0 || !WouldBlock();  // hung up, or broken
        break;
    }
    // Full: read again once lines were taken out (see ReadLine).
    if (!ended && input_.size() >= kReadPerWake) reader_.setEnabled(false);
    const QPointer<InstanceClient> alive(this);
    // One readyRead at a time, as a toolkit socket does: a handler that runs
    // a nested event loop gets the new bytes when it returns to its loop.
    if (taken > 0 && !emittingReadyRead_) {
        emittingReadyRead_ = true;
        emit readyRead();
        if (!alive) return;
        emittingReadyRead_ = false;
    }
    if (ended && IsConnected()) Lost();
}

QByteArray InstanceClient::ReadLine(qint64 max) {
    const qsizetype end = input_.indexOf('\n');
    const qsizetype length = std::min<qsizetype>(end < 0 ? input_.size() : end + 1, max);
    QByteArray line = input_.left(length);
    input_.remove(0, length);
    if (input_.isEmpty()) input_.clear();  // gives the memory back
    if (IsConnected() && !closing_ && input_.size() < kReadPerWake) reader_.setEnabled(true);
    return line;
}

void InstanceClient::Write(const char* data, qint64 size) {
    if (!IsConnected() || closing_ || size <= 0) return;
    output_.append(data, size);
    if (SendHeld()) return;
    // Told from the event loop: the writer may be in the middle of walking
    // its list of connections.
    Shut();
    QTimer::singleShot(0, this, &InstanceClient::disconnected);
}

bool InstanceClient::SendHeld() {
    while (!output_.isEmpty()) {
        const ssize_t sent = ::send(fd_.Get(), output_.constData(), static_cast<size_t>(output_.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            output_.remove(0, sent);
            if (output_.isEmpty()) output_.clear();  // gives the memory back
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && WouldBlock()) break;
        return false;
    }
    writer_.setEnabled(!output_.isEmpty());
    return true;
}

void InstanceClient::OnWritable() {
    if (!SendHeld()) {
        if (closing_) Abort();
        else Lost();
        return;
    }
    if (closing_ && output_.isEmpty()) Abort();
}

void InstanceClient::Abort() {
    Shut();
    input_.clear();
    if (closing_) deleteLater();
}

void InstanceClient::Close() {
    closing_ = true;
    reader_.setEnabled(false);
    if (!IsConnected() || !SendHeld() || output_.isEmpty()) Abort();
}

}  // namespace m470::qt
