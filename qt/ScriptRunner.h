#pragma once
// Plays a script of UI actions through the real widgets, so the real signals
// raise the real notifications; used by the end-to-end tests and to look at
// the program. One action per line, "#" starts a comment.
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace m470 {
class VirtualDeviceHub;
}

namespace m470::qt {

class CMainWnd;

class ScriptRunner : public QObject {
    Q_OBJECT

public:
    ScriptRunner(CMainWnd& window, VirtualDeviceHub* hub);
    // False with error set when the file cannot be read.
    bool Load(const QString& path, std::string& error);
    void SetLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
    // Runs the lines one after another on the event loop; a line that opens a
    // modal window does not stop the script: the next lines act inside it.
    void Start();

    const std::string& LastError() const { return lastError_; }

signals:
    // 0 when every line passed, 1 after the first failing line.
    void finished(int exitCode);

private:
    void Step();
    // Empty on success, else what failed; waitMs receives a pause after the line.
    std::string Run(const std::string& line, int& waitMs, bool& quit);
    QWidget* FindWidget(const std::string& name) const;
    // "1" when the product of the selector entry holding widget has been read.
    std::string EntryRead(QWidget* widget) const;

    CMainWnd& window_;
    VirtualDeviceHub* hub_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
    std::string lastError_;
    bool done_ = false;
    // When the "until" line now playing was first looked at.
    std::optional<std::chrono::steady_clock::time_point> untilSince_;
};

// Saves a picture of the widget; false when it could not be written.
bool SaveScreenshot(QWidget* widget, const QString& path);

}  // namespace m470::qt
