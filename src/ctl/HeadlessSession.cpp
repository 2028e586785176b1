#include "ctl/HeadlessSession.h"

#include "music/MusicStyles.h"
#include "platform/Folders.h"

namespace m470::ctl {
namespace {

constexpr uint32_t kMsgHandedWork = 0x0E01;  // a device thread handed work to the UI thread
// The scan's two identification stages and the presence probe settle in three passes.
constexpr int kScanPasses = 3;
// The first read runs 500 ms after a product is attached, the first battery query 50 ms later.
constexpr int kStartUpMs = 700;
constexpr int kStepMs = 50;

}  // namespace

void HeadlessSession::QuietContext::ResetMusicStyles() {
    AudioDocument(GetAppDataFolder() + kAudioFileName, GetDefaultDataFolder() + kAudioFileName).ResetAudioFile();
}

void HeadlessSession::QuietContext::ProfileChosen(CVantrelUSBDevice& device) {
    session_.choice_.Chosen(device);
    session_.choiceWaitedMs_ = 0;
}

HeadlessSession::HeadlessSession(std::shared_ptr<HidBackend> backend, const LanguageTable& english)
    : backend_(std::move(backend)), english_(english) {}

HeadlessSession::~HeadlessSession() {
    // A device thread waiting on a send gets its answer (none) at once.
    if (channel_) channel_->Shutdown();
    pages_.reset();  // the pages listen to the devices
    selector_.reset();  // the entries show them
    manager_.reset();
    probe_.reset();
}

bool HeadlessSession::Start() {
    const std::string skin = GetInstallFolder() + "skin/";
    if (host_.LoadLayout(skin + "mainwindow.ui") == nullptr) return false;
    channel_ = std::make_unique<ui::QueuedMessageChannel>(
        [this](uint32_t message, intptr_t wParam, intptr_t lParam) { return HandleMessage(message, wParam, lParam); });
    const auto invoker = [this](std::function<void()> work) { Invoke(std::move(work)); };
    const Translator translate = [this](std::string_view key) { return english_.Text(std::string(key)); };
    pages_ = std::make_unique<CPageBuilder>(&contexts_);

    DeviceSelectorUi entries;
    entries.host = &host_;
    entries.skinFolder = skin;
    entries.owner = channel_.get();
    entries.invoker = invoker;
    entries.translate = translate;
    entries.buildPage = [this](CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root) {
        pages_->Build(device, host, root);
        device.SetWindowActive(false);  // no picture to draw
    };
    selector_ = std::make_unique<CDeviceSelector>(std::move(entries));

    manager_ = std::make_unique<CDeviceManager>(selector_->ManagerUi(), backend_);
    host_.SetNotifyCallback([this](const ui::Notification& n) {
        if (n.event == "timer") selector_->OnEntryTimer(n.sender, static_cast<int>(n.wParam));
    });
    manager_->CreateStartupDevices();
    probe_ = std::make_unique<CHidDevice>(backend_);
    for (int pass = 0; pass < kScanPasses; ++pass) {
        manager_->ScanPass(*probe_);
        channel_->Pump();
    }
    Run(kStartUpMs);
    return true;
}

void HeadlessSession::Run(int ms) {
    for (int elapsed = 0; elapsed < ms; elapsed += kStepMs) {
        manager_->ScanPass(*probe_);  // what the window's scan thread notices
        host_.AdvanceTime(kStepMs);
        channel_->Pump();
        RunHandedWork();
        SettleProfileChoice();
    }
}

void HeadlessSession::SettleProfileChoice() {
    if (!choice_.Pending()) return;
    choiceWaitedMs_ += kStepMs;
    if (choiceWaitedMs_ < QuickProfileChoice::kSettleMs) return;
    choice_.Settle([this](CVantrelUSBDevice* device) { return HeldPageOf(device); }, contexts_);
}

intptr_t HeadlessSession::HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == ui::kMsgInterfaceArrived) manager_->OnArrival(static_cast<size_t>(wParam));
    if (message == ui::kMsgInterfaceLost) manager_->OnLoss(static_cast<size_t>(wParam));
    if (message == ui::kMsgLink) selector_->OnLinkMessage(static_cast<int>(wParam), lParam != 0);
    if (message == kMsgAccessChanged) manager_->OnAccessChanged();
    if (message == kMsgHandedWork) RunHandedWork();
    return 0;
}

// Device threads ask for selector timers; the tree is the UI thread's alone.
void HeadlessSession::Invoke(std::function<void()> work) {
    {
        std::lock_guard lock(handedMutex_);
        handed_.push_back(std::move(work));
    }
    if (channel_) channel_->Post(kMsgHandedWork, 0, 0);
}

void HeadlessSession::RunHandedWork() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(handedMutex_);
            if (handed_.empty()) return;
            work = std::move(handed_.front());
            handed_.pop_front();
        }
        work();
    }
}

std::vector<CVantrelUSBDevice*> HeadlessSession::Devices() const {
    return manager_ ? manager_->Devices() : std::vector<CVantrelUSBDevice*>();
}

CDevicePage* HeadlessSession::PageOf(const CVantrelUSBDevice* device) const { return pages_ ? pages_->PageOf(device) : nullptr; }

bool HeadlessSession::Reachable(const CVantrelUSBDevice* device) const { return selector_ && selector_->Reachable(device); }

}  // namespace m470::ctl
