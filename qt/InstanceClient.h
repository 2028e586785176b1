#pragma once
// One connection the instance socket accepted: a non-blocking local stream
// socket read into a buffer as data comes and written from one as the peer
// takes it, so a slow or silent client never holds the window.
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include "platform/LocalSocket.h"

namespace m470::qt {

class InstanceClient : public QObject {
    Q_OBJECT

public:
    // Takes over fd (a connected, non-blocking socket) and closes it when it goes.
    explicit InstanceClient(int fd, QObject* parent = nullptr);
    ~InstanceClient() override;
    InstanceClient(const InstanceClient&) = delete;
    InstanceClient& operator=(const InstanceClient&) = delete;

    bool IsConnected() const { return fd_.Get() >= 0; }
    int Fd() const { return fd_.Get(); }
    bool CanReadLine() const { return input_.contains('\n'); }
    // Up to and including the next line end, at most max bytes of it.
    QByteArray ReadLine(qint64 max);
    qint64 BytesAvailable() const { return input_.size(); }
    // What the kernel did not take yet and this side still holds.
    qint64 BytesToWrite() const { return output_.size(); }
    // Sends what the kernel takes now and keeps the rest for when it has room.
    void Write(const char* data, qint64 size);
    // Closes at once; what was not sent is dropped.
    void Abort();
    // Closes once what is held for the peer has been sent.
    void Close();

signals:
    void readyRead();
    // The peer hung up or the connection broke.
    void disconnected();

private:
    void OnReadable();
    void OnWritable();
    // Sends from the held bytes until the kernel takes no more; false when
    // the connection broke.
    bool SendHeld();
    void Shut();
    void Lost();

    Descriptor fd_;  // before the notifiers: they go first
    QSocketNotifier reader_;
    QSocketNotifier writer_;
    QByteArray input_;
    QByteArray output_;
    bool closing_ = false;
    bool emittingReadyRead_ = false;
};

}  // namespace m470::qt
