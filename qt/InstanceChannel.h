#pragma once
// The per-user local socket "M470": a second copy tells the running one to
// come to the front, and other programs send game events, lighting-control
// requests and tool queries on it, one line each ("NAME WPARAM LPARAM").
// Broadcasts of the running copy go to every connected listener.
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QLocalSocket>

namespace m470::qt {

inline constexpr const char* kInstanceName = "M470";
inline constexpr const char* kLightingBroadcast = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr const char* kLightingRequest = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr const char* kToolQuery = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";

struct InstanceMessage {
    std::string name;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    friend bool operator==(const InstanceMessage&, const InstanceMessage&) = default;
};

std::string FormatInstanceMessage(const InstanceMessage& message);
std::optional<InstanceMessage> ParseInstanceMessage(const std::string& line);
// $XDG_RUNTIME_DIR/M470, or the temporary folder with the user id.
QString InstanceSocketPath();

class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;
    // False when another copy is listening already; a stale socket of a
    // copy that died is removed and taken over.
    bool Listen();
    void Close();
    void Broadcast(const InstanceMessage& message);

signals:
    void messageReceived(const m470::qt::InstanceMessage& message, QLocalSocket* from);

private:
    void OnConnection();
    QLocalServer server_;
    std::vector<QPointer<QLocalSocket>> listeners_;
};

// Delivers one message to the running copy; false when none answers.
bool SendToRunningInstance(const InstanceMessage& message, int timeoutMs = 1000);

}  // namespace m470::qt
