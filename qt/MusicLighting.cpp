#include "qt/MusicLighting.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include "devices/DeviceManager.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "qt/MusicWindows.h"

namespace m470::qt {
namespace {

// Which path each kind of present slot runs.
struct KindPath {
    DeviceKind kind;
    bool keyboard;
};
constexpr std::array<KindPath, 4> kKindPaths{{{DeviceKind::Keyboard, true},
                                              {DeviceKind::KeyboardReceiver, true},
                                              {DeviceKind::Mouse, false},
                                              {DeviceKind::MouseReceiver, false}}};

PresentPaths PathsOf(const CDeviceManager& manager) {
    PresentPaths present;
    for (size_t i = 0; i < manager.SlotCount(); ++i) {
        const DeviceSlot slot = manager.Slot(i);
        if (!slot.present) continue;
        for (const KindPath& path : kKindPaths)
            if (path.kind == slot.row.kind) ++(path.keyboard ? present.keyboards : present.mice);
    }
    return present;
}

std::string LockPath() {
    const std::string folder = CaptureFolder();
    return folder.empty() ? std::string() : CaptureLockPath(folder);
}

}  // namespace

MusicLighting::MusicLighting(QString installFolder, std::function<CDeviceManager*()> manager,
                             std::function<DialogContext()> dialogs)
    : installFolder_(std::move(installFolder)),
      manager_(std::move(manager)),
      dialogs_(std::move(dialogs)),
      lockPath_(LockPath()),
      audio_(GetAppDataFolder() + kAudioFileName, GetDefaultDataFolder() + kAudioFileName) {
    CaptureWatcherHooks hooks;
    QPointer<MusicLighting> self(this);
    hooks.relaunched = [self] {
        if (self) QMetaObject::invokeMethod(self, [self] { if (self) self->ConnectCapture(); }, Qt::QueuedConnection);
    };
    hooks.launchFailed = [self](const std::string&) {
        if (!self) return;
        QMetaObject::invokeMethod(self, [self] {
            if (!self) return;
            ShowMessage(self->dialogs_(), "", kRecordOpenFailed, 96, false, kButtonsConfirm);
        }, Qt::QueuedConnection);
    };
    watcher_ = std::make_unique<CaptureWatcher>((installFolder_ + kCaptureProgram).toStdString(), lockPath_,
                                                 std::move(hooks));
}

MusicLighting::~MusicLighting() = default;

void MusicLighting::Start() {
    if (lockPath_.empty()) {
        DebugTrace::Write("capture program not started: no private runtime folder");
        return;
    }
    started_ = true;
    watcher_->LaunchCapture();
    LoadStyles();
    QTimer::singleShot(kConnectDelayMs, this, [this] { ConnectCapture(); });
}

void MusicLighting::Watch(const StopEvent& stop) {
    if (!lockPath_.empty()) watcher_->Watch(stop);
}

void MusicLighting::LoadStyles() {
    if (stylesLoaded_) return;
    stylesLoaded_ = true;
    audio_.LoadAudioFile();
}

void MusicLighting::Shutdown() {
    notifier_.reset();
    // Only a capture program this window started (or found at its start) is told to quit.
    if (lockPath_.empty() || !started_ || shutDown_) return;
    shutDown_ = true;
    client_.DisconnectCapture();
    watcher_->EndChildren(kCaptureQuitWait);
}

void MusicLighting::ConnectCapture() {
    notifier_.reset();
    if (!client_.ConnectCapture()) {
        // Once the first look of the window failed, nothing else would
        // connect while the program runs: only a relaunch does.
        if (started_ && !shutDown_)
            QTimer::singleShot(kConnectRetryMs, this, [this] {
                if (!client_.Connected() && !shutDown_) ConnectCapture();
            });
        return;
    }
    SendStyle();
    notifier_ = std::make_unique<QSocketNotifier>(client_.Fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

void MusicLighting::SendStyle() { client_.SendStyle(StyleColourForCapture(audio_.Styles())); }

void MusicLighting::OnReadable() {
    client_.ReadAvailable([this](const CaptureFrame& frame) { HandleFrame(frame); });
    // A hang-up: the watcher starts the program again and reconnects.
    if (!client_.Connected()) notifier_.reset();
}

void MusicLighting::HandleFrame(const CaptureFrame& frame) {
    CDeviceManager* manager = manager_ ? manager_() : nullptr;
    const PresentPaths present = manager != nullptr ? PathsOf(*manager) : PresentPaths{};
    const CaptureDelivery delivery = HandleCaptureFrame(spectrum_, frame, present);
    if (manager == nullptr) return;
    if (delivery.spectrum.mouse && !manager->Mice().empty()) manager->Mice().front()->FeedAudioSpectrum(*delivery.spectrum.mouse, kMouseBands);
    if (delivery.spectrum.keyboard && !manager->Keyboards().empty()) manager->Keyboards().front()->FeedKeyboardSpectrum(*delivery.spectrum.keyboard);
    if (delivery.keyboardBands && !manager->Keyboards().empty())
        manager->Keyboards().front()->FeedAudioBands({delivery.keyboardBands->begin(), delivery.keyboardBands->end()});
}

void MusicLighting::OpenMusic(QWidget* owner) {
    if (musicOpen_) return;
    LoadStyles();
    musicOpen_ = true;
    DialogContext context = dialogs_();
    context.owner = owner;
    const std::optional<MusicStyles> styles = RunMusicWindow(context, audio_.Styles());
    musicOpen_ = false;
    if (!styles) return;
    audio_.SetMusicStyles(*styles);
    SendStyle();
    audio_.SaveAudioFile();
}

}  // namespace m470::qt
