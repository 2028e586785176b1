#pragma once
// The per-user local socket "M470": a second copy tells the running one to
// come to the front, and other programs send game events, lighting-control
// requests and tool queries on it, one line each ("NAME WPARAM LPARAM").
// Broadcasts of the running copy go to every connected listener.
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/InstanceSocket.h"
#include "platform/LocalSocket.h"
#include "qt/InstanceClient.h"

namespace m470::qt {

inline constexpr const char* kInstanceName = "M470";
inline constexpr const char* kLightingBroadcast = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr const char* kLightingRequest = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr const char* kToolQuery = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";

// What the server holds on to: a flood of connections or an endless line
// must not use up the process's descriptors or memory.
inline constexpr size_t kMaxConnections = 32;
inline constexpr qint64 kMaxLineBytes = 4096;
inline constexpr int kIdleMs = 5000;        // a half-sent line this old is dropped
// How often the server looks again while something needs it: a listening
// socket that could not be made again, or a line begun and not finished.
inline constexpr int kListenCheckMs = 1000;
// Replies a client has not read yet: a client that asks and never reads
// must not make the window hold its answers without end.
inline constexpr qint64 kMaxUnsentBytes = 64 * 1024;

struct InstanceMessage {
    std::string name;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    friend bool operator==(const InstanceMessage&, const InstanceMessage&) = default;
};

std::string FormatInstanceMessage(const InstanceMessage& message);
std::optional<InstanceMessage> ParseInstanceMessage(const std::string& line);
// $XDG_RUNTIME_DIR/M470, or "M470" in the private folder M470-<uid> of the
// temporary folder. Empty, with error set, when that folder is not private.
// A runtime folder given as a relative path counts as none.
QString InstanceSocketPath(std::string* error = nullptr);
// Why $XDG_RUNTIME_DIR is not used although it is set; empty when it is
// used or not set.
std::string RuntimeFolderNotice();

// Lets the process open as many descriptors as the hard limit allows.
void RaiseDescriptorLimit();

enum class ListenResult { Listening, OtherCopy, Failed };

class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;
    // OtherCopy only when a running copy answered on the socket; Failed
    // (with LastError) when the socket cannot be made for another reason.
    // A stale socket of a copy that died is removed and taken over.
    ListenResult Listen();
    const std::string& LastError() const { return lastError_; }
    bool IsListening() const { return listener_.Get() >= 0; }
    size_t ConnectionCount() const { return connections_.size(); }
    void Close();
    void Broadcast(const InstanceMessage& message);
    // Writes line to a client; one that leaves more than kMaxUnsentBytes
    // unread is closed instead. A client gone already is skipped.
    void Reply(InstanceClient* to, const std::string& line);
    // For tests: the listening socket goes away as it does when accepting fails.
    void DropListeningSocket() { LoseListeningSocket(); }

signals:
    void messageReceived(const m470::qt::InstanceMessage& message, m470::qt::InstanceClient* from);
    // An m470ctl request: its words; the reply line goes back on from.
    void controlRequest(const std::vector<std::string>& words, m470::qt::InstanceClient* from);

private:
    struct Connection {
        QPointer<InstanceClient> socket;
        QElapsedTimer lastActivity;
    };
    void OnConnection();
    void Adopt(int fd);
    void OnReadable(InstanceClient* socket);
    void Forget(InstanceClient* socket);
    void Drop(InstanceClient* socket);
    Connection* Find(InstanceClient* socket);
    // Makes room for one more: the longest-idle connection goes.
    void MakeRoom();
    void CheckHealth();
    // The health timer runs only while a look is due (see kListenCheckMs);
    // the socket's folder is watched for the socket going or being replaced.
    void ArmHealth();
    // The listening socket is gone, or its path now holds another file
    // (someone removed it and put their own there): listen there again.
    void ListenAgainWhenLost();
    bool Relisten();
    // Stops listening and removes the socket file if it is still the one
    // made here; the health check listens again.
    void LoseListeningSocket();

    Descriptor listener_;
    // Made with each listening socket and gone before it closes.
    std::unique_ptr<QSocketNotifier> acceptor_;
    QTimer health_;
    QFileSystemWatcher folderWatch_;
    std::vector<Connection> connections_;
    std::string lastError_;
    std::string path_;
    FileIdentity listening_;
    bool closed_ = false;
};

// A connection the running copy closes within this time after the line was
// written was refused (the line, or the connection's unread replies).
inline constexpr int kRefusalWaitMs = 200;

// Delivers one message to the running copy; false, with why set, when none
// answers or it refuses the connection.
bool SendToRunningInstance(const InstanceMessage& message, int timeoutMs = 1000, std::string* why = nullptr);

}  // namespace m470::qt
