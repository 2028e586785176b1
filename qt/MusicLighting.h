#pragma once
// Lights that follow the music, on the window's side: launches and watches
// the capture program, connects to it, turns its frames into band levels for
// the first mouse and keyboard, keeps the music styles and their file, and
// opens the music window.
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "music/CaptureClient.h"
#include "music/CaptureWatcher.h"
#include "music/MusicStyles.h"
#include "music/SpectrumProcessing.h"
#include "qt/Dialogs.h"

namespace m470 {
class CDeviceManager;
}

namespace m470::qt {

inline constexpr const char* kCaptureProgram = "m470-audiorecord";
inline constexpr int kConnectDelayMs = 100;
// A program that is not listening yet (slow to start on a loaded machine) is
// tried again this often until it answers.
inline constexpr int kConnectRetryMs = 500;
inline constexpr auto kCaptureQuitWait = std::chrono::milliseconds(1500);

class MusicLighting : public QObject {
    Q_OBJECT

public:
    // manager: where the devices are found (may change to nullptr and back).
    MusicLighting(QString installFolder, std::function<CDeviceManager*()> manager, std::function<DialogContext()> dialogs);
    ~MusicLighting() override;

    // Launches the capture program, reads the styles and connects shortly after.
    void Start();
    // The watcher's loop, for the window's worker slot.
    void Watch(const StopEvent& stop);
    // After the workers stopped: the capture program is told to quit, and
    // nothing it started is left running.
    void Shutdown();
    // The music window, modal; nothing while it is open.
    void OpenMusic(QWidget* owner);
    void ResetAudioFile() { audio_.ResetAudioFile(); }
    // Connects to the capture program (at start, and after the watcher relaunched it).
    void ConnectCapture();
    bool Connected() const { return client_.Connected(); }
    const MusicStyles& Styles() const { return audio_.Styles(); }

    // The capture program's frames, as they arrive (also for tests).
    void HandleFrame(const CaptureFrame& frame);

private:
    void LoadStyles();
    void SendStyle();
    void OnReadable();

    QString installFolder_;
    std::function<CDeviceManager*()> manager_;
    std::function<DialogContext()> dialogs_;
    std::string lockPath_;
    CaptureClient client_;
    std::unique_ptr<CaptureWatcher> watcher_;
    std::unique_ptr<QSocketNotifier> notifier_;
    SpectrumState spectrum_;
    AudioDocument audio_;
    bool stylesLoaded_ = false;
    bool musicOpen_ = false;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace m470::qt
