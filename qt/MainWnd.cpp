#include "qt/MainWnd.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QVBoxLayout>

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "devices/DeviceManager.h"
#include "devices/MouseDevice.h"
#include "qt/ControlLoader.h"
#include "qt/MusicWindows.h"
#include "shell/ToolQuery.h"
#include "shell/WindowPlacement.h"
#include "platform/Folders.h"
#include "devices/VantrelUSBDevice.h"
#include "platform/AtomicFile.h"
#include "platform/Autostart.h"
#include "platform/DebugTrace.h"
#include "Version.h"
#include "pages/PageBuilder.h"
#include "platform/FileAlerts.h"
#include "qt/QtControl.h"
#include "qt/SkinFrame.h"
#include "lighting/SameMode.h"
#include "platform/Text.h"
#include "platform/JsonFile.h"

namespace m470::qt {
namespace {

QIcon AppIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x0b, 0x0d, 0x10));
    painter.setPen(QPen(QColor(0x00, 0xc8, 0xff), 4));
    painter.drawRoundedRect(4, 4, 56, 56, 14, 14);
    painter.setPen(QColor(0x00, 0xc8, 0xff));
    QFont font("DejaVu Sans", 26, QFont::Bold);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "M");
    return QIcon(pixmap);
}

}  // namespace

CMainWnd::CMainWnd(QString installFolder, QWidget* parent)
    : QWidget(parent),
      installFolder_(std::move(installFolder)),
      languageChoice_(registry_, installFolder_.toStdString() + "DefaultData/Language.config") {
    setWindowTitle(kInstanceName);
    setObjectName("MainWnd");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    host_.SetNotifyCallback([this](const ui::Notification& n) { Notify(n); });
    host_.SetLanguage(&language_);
    gameLighting_ = CGameLighting([this](int result) { ReportWrite(pageContext_, result); });
    SetUpPanelWindow();
    CreateGameProfiles();
}

void CMainWnd::SetUpPanelWindow() {
    // Captured input goes to the page shown, synchronously on this thread.
    for (const HookModeRow& row : kHookModes) {
        const int mode = row.mode;
        hook_.OnKeyMessage(row.keyMessage, [this, mode](const CapturedKey& key) {
            if (CDevicePage* page = CurrentPage()) page->OnCapturedKey(mode, key);
        });
        if (row.mouseMessage == nullptr) continue;
        hook_.OnButtonMessage(row.mouseMessage, [this, mode](const CapturedButton& button) {
            if (CDevicePage* page = CurrentPage()) page->OnCapturedButton(mode, button);
        });
    }
    panelWindow_.ask = [this](const std::string& key) {
        return ShowMessage(Dialogs(), "", key, dpi_, true, kButtonsConfirmCancel) == 1;
    };
    panelWindow_.notice = [this](const std::string& key) { ShowMessage(Dialogs(), "", key, dpi_, true, kButtonsConfirm); };
    panelWindow_.plainNotice = [this](const std::string& text) { ShowMessage(Dialogs(), "", text, dpi_, false, kButtonsConfirm); };
    panelWindow_.chooseOpenFile = [this](const std::string& filter) {
        return ChooseOpenFile(Dialogs(), QString::fromStdString(filter)).value_or(std::string());
    };
    panelWindow_.chooseSaveFile = [this](const std::string& filter) {
        return ChooseSaveFile(Dialogs(), QString::fromStdString(filter)).value_or(std::string());
    };
    panelWindow_.setHook = [this](int mode, bool on, std::function<ScreenRect()> passArea) {
        hook_.SetPassArea(std::move(passArea));
        if (on) hook_.SetHookMode(0, mode, true, mode != hook_mode::kSingleKey);
        else if (hook_.Mode() == mode) hook_.RemoveHooks();
    };
    panelWindow_.screenArea = [this](const std::string& name) {
        const CDevicePage* page = CurrentPage();
        QWidget* widget = host_.WidgetOf(page != nullptr && page->Root() != nullptr ? host_.FindUnder(page->Root(), name)
                                                                                    : host_.Find(name));
        if (widget == nullptr || !widget->isVisible()) return ScreenRect{};
        const QPoint at = widget->mapToGlobal(QPoint(0, 0));
        return ScreenRect{at.x(), at.y(), widget->width(), widget->height()};
    };
    panelWindow_.openMenu = [this](const std::string& layout, std::function<void(const std::string&)> chosen) {
        OpenLayoutMenu(layout, std::move(chosen));
    };
}

void CMainWnd::OpenLayoutMenu(const std::string& layout, std::function<void(const std::string&)> chosen) {
    PlainLoader loader;
    QFile file(installFolder_ + "skin/" + QString::fromStdString(layout));
    if (!file.open(QIODevice::ReadOnly)) return;
    std::unique_ptr<QWidget> tree(loader.load(&file));
    if (!tree) return;
    auto* menu = new QMenu(this);
    menu->setObjectName(tree->objectName());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Buttons are entries; a widget with a "title" is a submenu of its buttons.
    const std::function<void(QWidget*, QMenu*)> fill = [&](QWidget* parent, QMenu* into) {
        for (QObject* child : parent->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget == nullptr) continue;
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                QAction* entry = into->addAction(QString::fromStdString(Text(button->text().toStdString())));
                entry->setObjectName(button->objectName());
                const std::string name = button->objectName().toStdString();
                connect(entry, &QAction::triggered, this, [chosen, name] { chosen(name); });
            } else if (widget->property("title").isValid()) {
                QMenu* sub = into->addMenu(QString::fromStdString(Text(widget->property("title").toString().toStdString())));
                sub->setObjectName(widget->objectName());
                fill(widget, sub);
            } else {
                fill(widget, into);
            }
        }
    };
    fill(tree.get(), menu);
    menu->popup(QCursor::pos());
}

CMainWnd::~CMainWnd() {
    sdk_.reset();  // its clients give the products back while they are still there
    // The pages outlive the window's services: a recording stopped as they go asks nothing.
    for (const auto& page : pages_.Pages()) page->SetWindow(nullptr);
    if (currentPage_ != nullptr) currentPage_->SetWindow(nullptr);
    if (channel_) channel_->Shutdown();
    StopWorkers();
    if (music_) music_->Shutdown();
}

CDevicePage* CMainWnd::PageOf(const CVantrelUSBDevice* device) const {
    if (currentPage_ != nullptr && &currentPage_->Device() == device) return currentPage_;
    return pages_.PageOf(device);
}

CDevicePage* CMainWnd::CurrentPage() const { return PageOf(CurrentDevice()); }

void CMainWnd::SetCurrentPage(CDevicePage* page) {
    currentPage_ = page;
    if (page != nullptr) page->SetWindow(&panelWindow_);
    currentDevice_ = page != nullptr ? &page->Device() : nullptr;
    if (gameProfiles_) gameProfiles_->Reconsider();  // the page shown is always looked at
}

// ---- what the pages ask of the window ----

bool CMainWnd::WindowPageContext::Confirm(const std::string& textKey) {
    return ShowMessage(window_.Dialogs(), "", textKey, window_.Dpi(), true, kButtonsConfirmCancel) == 1;
}

void CMainWnd::WindowPageContext::Notice(const std::string& textKey) {
    ShowMessage(window_.Dialogs(), "", textKey, window_.Dpi(), true, kButtonsConfirm);
}

void CMainWnd::WindowPageContext::NoticeNumber(const std::string& textKey, int number) {
    const std::string text = FormatWithNumber(window_.Text(textKey), number);
    ShowMessage(window_.Dialogs(), "", text, window_.Dpi(), false, kButtonsConfirm);
}

std::optional<std::string> CMainWnd::WindowPageContext::ChooseOpenFile(const std::string& filter) {
    return qt::ChooseOpenFile(window_.Dialogs(), QString::fromStdString(filter));
}

std::optional<std::string> CMainWnd::WindowPageContext::ChooseSaveFile(const std::string& filter) {
    return qt::ChooseSaveFile(window_.Dialogs(), QString::fromStdString(filter));
}

// A handler that waited for a modal dialog acts only when its device is
// still the one shown (it may have been unplugged or switched off meanwhile).
bool CMainWnd::WindowPageContext::Shown(const CVantrelUSBDevice& device) const {
    return window_.CurrentDevice() == &device && window_.CurrentPage() != nullptr;
}

void CMainWnd::WindowPageContext::ProfileChosen(CVantrelUSBDevice& device) {
    window_.profileChoice_.Chosen(device);
    window_.StartTimer(kTimerProfileChoice, QuickProfileChoice::kSettleMs);
}

void CMainWnd::WindowPageContext::SameMode(CVantrelUSBDevice& device) {
    if (auto shared = ApplySameMode(device, window_.Devices())) window_.lightSync_.SetShared(*shared);
}

CVantrelUSBDevice* CMainWnd::CurrentDevice() const {
    if (currentDevice_ != nullptr) return currentDevice_;
    return selector_ ? selector_->CurrentDevice() : nullptr;
}

std::vector<CVantrelUSBDevice*> CMainWnd::Devices() const {
    return manager_ ? manager_->Devices() : std::vector<CVantrelUSBDevice*>();
}

// Same mode needs two devices; a new page also needs its texts in the chosen language.
void CMainWnd::OnDeviceSetChanged() {
    const std::vector<CVantrelUSBDevice*> devices = Devices();
    // Device objects outlive their connection, and a receiver stays open while
    // its product is off: count the ones that can be reached now.
    const auto connected = std::count_if(devices.begin(), devices.end(), [this](CVantrelUSBDevice* device) {
        return selector_->Reachable(device);
    });
    const bool several = connected >= 2;
    lightSync_.SetDevices(devices);
    if (sdk_) sdk_->DeviceListChanged();
    for (CVantrelUSBDevice* device : devices) {
        if (CDevicePage* page = PageOf(device)) page->SetWindow(&panelWindow_);
        if (CDevicePage* page = PageOf(device)) page->SetSameModeAvailable(several);
        if (!several && device->Kind() == DeviceKind::Headset) device->SetSynced(false);
    }
    ApplyTexts(this, language_);
    if (gameProfiles_) gameProfiles_->Reconsider();  // the reachable pages changed
}

void CMainWnd::StartDeviceManager(std::shared_ptr<HidBackend> backend) {
    channel_ = std::make_unique<QtMessageChannel>(this, [this](uint32_t message, intptr_t wParam, intptr_t lParam) {
        return HandleMessage(message, wParam, lParam);
    });
    const auto invoker = [this](std::function<void()> work) { channel_->Invoke(std::move(work)); };
    const auto translate = [this](std::string_view key) { return language_.Text(std::string(key)); };
    news_ = std::make_unique<CProductNews>([this](const DesktopNote& note) { notifier_.Show(note); }, translate);
    news_->SetChoices(ReadNewsChoices(registry_));
    DeviceSelectorUi entries;
    entries.news = news_.get();
    entries.host = &host_;
    entries.skinFolder = installFolder_.toStdString() + "skin/";
    entries.owner = channel_.get();
    entries.invoker = invoker;
    entries.closeAuxWindows = [this] { CloseAuxWindows(); };
    entries.translate = translate;
    entries.buildPage = [this](CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root) {
        pages_.Build(device, host, root).SetWindow(&panelWindow_);
        // A product that arrives while the window is minimised or hidden has no picture to draw.
        device.SetWindowActive(isVisible() && !isMinimized());
    };
    entries.pageShown = [this](CVantrelUSBDevice& device) {
        if (CDevicePage* page = pages_.PageOf(&device)) page->ShowHeld();
    };
    selector_ = std::make_unique<CDeviceSelector>(std::move(entries));
    DeviceManagerUi ui = selector_->ManagerUi();
    ui.notice = [this](const std::string& text, bool isKey) {
        ShowMessage(Dialogs(), "", text, dpi_, isKey, kButtonsConfirm);
    };
    ui.screenWidth = screen_.width();
    ui.screenHeight = screen_.height();
    manager_ = std::make_unique<CDeviceManager>(ui, std::move(backend));
    manager_->CreateStartupDevices();
    OnDeviceSetChanged();
    StartWorker(0, [this](const StopEvent& stop) { manager_->RunScanThread(stop); }, "m470-scan");
    StartWorker(2, [this](const StopEvent& stop) { lightSync_.Run(stop); }, "m470-sync");
    gameProfiles_->Start();
    sdk_ = std::make_unique<SdkService>(registry_, controlTarget_, installFolder_.toStdString(), this);
    sdk_->Apply();
}

bool CMainWnd::InitWindow() {
    DebugTrace::Write("InitWindow");
    QDir::addSearchPath("skin", installFolder_ + "skin");
    QFile style(installFolder_ + "skin/style.qss");
    if (style.open(QIODevice::ReadOnly)) skinStyle_ = QString::fromUtf8(style.readAll());
    QFile skinned(installFolder_ + "skin/skinned.qss");
    if (skinned.open(QIODevice::ReadOnly)) skinnedStyle_ = QString::fromUtf8(skinned.readAll());
    ApplyStyleSheet();
    root_ = host_.LoadLayout(installFolder_ + "skin/mainwindow.ui", this);
    if (root_ == nullptr) return false;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(root_);
    host_.Adopt(this);
    if (QWidget* title = root_->findChild<QWidget*>(CWindowRoutes::kTitleBar)) title->installEventFilter(this);
    setWindowIcon(AppIcon());
    CreateTray();
    language_.Load(installFolder_.toStdString() + "skin/lang/zh.json");  // the table in force until the choice is read
    // The window itself holds the focus until the user tabs or clicks: else
    // the first title button would wear the focus ring from the start.
    setFocus(Qt::OtherFocusReason);
    return true;
}

void CMainWnd::OnWindowInit() {
    // Saves cut short by a kill leave their temporary files behind.
    RemoveOrphanTemporaryFiles(GetAppDataFolder(), 1);
    RemoveOrphanTemporaryFiles(GetConfigFolder(), 0);
    ApplyLanguage(languageChoice_.ReadLanguageChoice());
    if (QScreen* screen = QGuiApplication::primaryScreen()) screen_ = screen->size();
    StartTimer(kTimerFit, 100);
}

void CMainWnd::CreateTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(AppIcon(), this);
    tray_->setToolTip(kInstanceName);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Context) {
            StartTimer(kTimerTrayMenu, 10);
        } else if (reason == QSystemTrayIcon::Trigger) {
            if (isVisible() && !isMinimized()) {
                CloseAuxWindows();
                hide();
                for (CVantrelUSBDevice* device : Devices()) device->SetWindowActive(false);
            } else {
                FitToMonitor();
                ShowMainWindow();
            }
        }
    });
    tray_->show();
}

// ---- notifications ----

// A dialog's controls notify through the same host; its buttons end the
// dialog themselves and must not reach the window's routes (its close button).
bool CMainWnd::FromOtherWindow(const ui::Notification& n) const {
    const auto* control = dynamic_cast<const QtControl*>(n.sender);
    const QWidget* widget = control != nullptr ? control->Widget() : nullptr;
    return widget != nullptr && widget->window() != this;
}

void CMainWnd::Notify(const ui::Notification& n) {
    DispatchNotification(n);
    ShowFileAlert();
}

void CMainWnd::ShowFileAlert() {
    if (showingFileAlert_) return;
    const std::optional<FileAlert> alert = TakeFileAlert();
    if (!alert) return;
    showingFileAlert_ = true;  // a failure while the box is open is told by this box
    const std::string text = FileAlertText(*alert, [this](std::string_view key) { return language_.Text(std::string(key)); });
    ShowMessage(Dialogs(), "", text, dpi_, false, kButtonsConfirm);
    TakeFileAlert();
    showingFileAlert_ = false;
}

void CMainWnd::DispatchNotification(const ui::Notification& n) {
    // The entries' timers (a preview frame each) are this window's own: asked first.
    if (n.event == "timer") {
        if (selector_ && selector_->OnEntryTimer(n.sender, static_cast<int>(n.wParam))) return;
        if (!FromOtherWindow(n)) DebugTrace::Printf("timer %s", n.senderName.c_str());
        return;
    }
    if (FromOtherWindow(n)) return;
    // The page shown takes its own controls' notifications first.
    if (CDevicePage* page = CurrentPage(); page != nullptr && page->Route(n)) return;
    windowRoutes_.Route(n);
}

bool CMainWnd::WindowControlActions::ToggleMaximized() {
    window_.isMaximized() ? window_.showNormal() : window_.showMaximized();
    return window_.isMaximized();
}

void CMainWnd::WindowControlActions::OpenSystemSettings(int panel) {
    static const char* kPanels[] = {"keyboard", "mouse"};
    if (panel < 0 || panel > 1) return;
    QProcess::startDetached("gnome-control-center", {kPanels[panel]});
}

void CMainWnd::WindowControlActions::ChooseDevice(ui::Control* entry) {
    // A recording of the device left stops and is saved, as its stop button does.
    if (CDevicePage* left = window_.CurrentPage()) left->StopCapture();
    if (window_.selector_) window_.selector_->OnEntrySelected(entry);
}

// ---- window messages ----

intptr_t CMainWnd::HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
        case window_message::kShowProgress:
            windowRoutes_.ShowUpdateProgress();
            break;
        case window_message::kSwitchLanguage:
            ApplyLanguage(static_cast<int>(wParam));
            break;
        case window_message::kOpenSettings:
            QTimer::singleShot(0, this, [this] { OpenSettings(); });  // its modal loop runs after this message
            break;
        case window_message::kClearSettingsMark:
            windowRoutes_.ClearSettingsMark();
            break;
        case window_message::kInterfaceArrived:
            if (manager_) manager_->OnArrival(static_cast<size_t>(wParam));
            OnDeviceSetChanged();
            break;
        case window_message::kInterfaceLost:
            if (manager_) manager_->OnLoss(static_cast<size_t>(wParam));
            OnDeviceSetChanged();
            break;
        case window_message::kLink:
            if (selector_) selector_->OnLinkMessage(static_cast<int>(wParam), lParam != 0);
            OnDeviceSetChanged();  // the same-mode count changes with the link
            break;
        case kMsgAccessChanged:
            if (manager_) manager_->OnAccessChanged();
            break;
        case kMsgFirstScanDone:
            if (!startHidden_) ShowMainWindow();  // after the first scan, with the products found so far
            break;
        default:
            break;  // 0x0C14, 0x0D00, 0x0D01 and 0x0D02: nothing to do here
    }
    // The scan thread waits for this call: a message box comes after it.
    QTimer::singleShot(0, this, [this] { ShowFileAlert(); });
    return 0;
}

void CMainWnd::HandleNamedMessage(const InstanceMessage& message, const std::function<void(const std::string&)>& reply) {
    if (message.name == kInstanceName) {
        DebugTrace::Printf("软件标示 %s，%lx%lx", message.name.c_str(), static_cast<long>(message.wParam),
                           static_cast<long>(message.lParam));
        ShowMainWindow();
    } else if (message.name == "Game_Start" || message.name == "Game_End" || message.name == "Game_Kill" ||
               message.name == "Game_Death") {
        const bool batchOpen = pendingGameEvent_.has_value();
        pendingGameEvent_ = message;
        if (!batchOpen) StartTimer(kTimerGameBatch, kGameBatchMs);
    } else if (message.name == kLightingRequest && message.wParam == 1) {
        // Only 0 and 1 change the flag; any other value just tells the devices again.
        if (message.lParam == 0 || message.lParam == 1) SetLightingControl(message.lParam == 1);
        else TellDevicesLightingControl();
    } else if (message.name == kToolQuery) {
        // The asking tool gets the answer on its own connection; asked without one, nothing.
        if (!reply) return;
        const std::vector<ProductRow> all(kProducts.begin(), kProducts.end());
        reply(ToolQueryAnswer(kToolQuery, manager_ ? manager_->Products() : all));
    }
}

bool CMainWnd::ControlTarget::Reachable(const CVantrelUSBDevice* device) const {
    return window_.selector_ && window_.selector_->Reachable(device);
}

std::string CMainWnd::SwitchSdk(bool on) {
    if (sdk_) sdk_->SetOn(on);
    return SdkStatusLine();
}

std::string CMainWnd::SdkStatusLine() const {
    if (!sdk_ || !sdk_->On()) return {};
    if (sdk_->Listening()) return FormatWithNumber(Text("openrgb_sdk_listening"), sdk_->Port());
    return FormatWithNumber(Text("openrgb_sdk_not_listening"), ctl::ReadSdkSetting(registry_).port);
}

ctl::Reply CMainWnd::ControlTarget::SwitchSdk(bool on) {
    if (!window_.sdk_) return CtlTarget::SwitchSdk(on);
    window_.sdk_->SetOn(on);
    const std::string status = "OpenRGB SDK server " + window_.sdk_->Status() + "\n";
    if (on && !window_.sdk_->Listening()) return {ctl::kExitRefused, {}, "m470ctl: " + status};
    return {ctl::kExitDone, status, {}};
}

std::string CMainWnd::HandleControlRequest(const std::vector<std::string>& words) {
    // A dialog waits for the user: what it was opened for must find the pages as it left them.
    if (QApplication::activeModalWidget() != nullptr)
        return ctl::FormatReply({ctl::kExitRefused, {}, "m470ctl: the M470 window waits for an answer in a dialog; try again when it is closed\n"});
    if (english_.Size() == 0) english_.Load(installFolder_.toStdString() + "skin/lang/en.json");
    const ctl::Reply reply = ctl::CtlExecutor(controlTarget_, english_).Run(words);
    // A request's edits show on the pages as a user's would; its messages went back to it.
    return ctl::FormatReply(reply);
}

void CMainWnd::SetLightingControl(bool on) {
    lightingControl_ = on;
    windowRoutes_.ShowLightingControl(on);
    TellDevicesLightingControl();
}

// Headsets keep lighting to themselves.
void CMainWnd::TellDevicesLightingControl() {
    for (CVantrelUSBDevice* device : Devices())
        if (device->Kind() != DeviceKind::Headset) device->SetLightControlFlag(lightingControl_ ? 1 : 0);
}

void CMainWnd::ToggleLightingControl() {
    const bool on = !lightingControl_;
    if (broadcast_) broadcast_({kLightingBroadcast, 1, on ? 1 : 0});
    SetLightingControl(on);
}

void CMainWnd::GameEvent(intptr_t kind, intptr_t mode) {
    CVantrelUSBDevice* device = CurrentDevice();
    if (kind >= 0 && kind <= 2 && device != nullptr && mode >= 0 && mode <= 0xFF) gameLighting_.Show(*device, static_cast<int>(mode));
    StartTimer(kTimerGameRestore, 5000);
}

bool CMainWnd::Holds(CVantrelUSBDevice* device) const {
    if (device == nullptr) return false;
    const std::vector<CVantrelUSBDevice*> devices = Devices();
    return device == currentDevice_ || std::find(devices.begin(), devices.end(), device) != devices.end();
}

// ---- timers ----

void CMainWnd::StartTimer(int id, int delayMs) {
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);  // coarse timers may fire 5 % late
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(delayMs);
}

void CMainWnd::OnTimer(int id) {
    HandleTimer(id);
    ShowFileAlert();
}

void CMainWnd::HandleTimer(int id) {
    switch (id) {
        case kTimerFit:
            FitToMonitor();
            update();
            break;
        case kTimerTrayMenu: {
            auto* menu = new QMenu(this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->addAction(QString::fromStdString(Text("tray_show")), this, [this] { ShowMainWindow(); });
            menu->addAction(QString::fromStdString(Text("tray_about")), this, [this] { ShowAbout(Dialogs(), kVersion); });
            gameProfiles_->AddMenuEntry(menu);
            AddAutostartEntry(menu);
            AddNewsEntries(menu);
            menu->addSeparator();
            menu->addAction(QString::fromStdString(Text("tray_exit")), this, [this] { RequestExit(); });
            menu->popup(QCursor::pos());
            break;
        }
        case kTimerProfileChoice:
            profileChoice_.Settle([this](CVantrelUSBDevice* device) { return controlTarget_.HeldPageOf(device); }, pageContext_);
            break;
        case kTimerGameRestore:
            if (Holds(gameLighting_.Device())) gameLighting_.Restore();
            break;
        case kTimerGameBatch:
            if (pendingGameEvent_) {
                const InstanceMessage last = *pendingGameEvent_;
                pendingGameEvent_.reset();
                GameEvent(last.wParam, last.lParam);
            }
            break;
        default:
            break;
    }
}

// ---- size and visibility ----

QSize CMainWnd::SizeForMonitor(QSize monitor) {
    return monitor.width() > 1500 && monitor.height() > 960 ? QSize(1500, 960) : QSize(1000, 640);
}

int CMainWnd::DpiForMonitor(QSize monitor) { return monitor.width() > 1500 && monitor.height() > 960 ? 144 : 96; }

void CMainWnd::FitToMonitor() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // The first fit takes last time's place; later ones keep the window where the user left it.
    std::optional<WindowRect> kept;
    if (placed_) kept = WindowRect{x(), y(), width(), height()};
    else if (const auto text = registry_.Read(kWindowPlaceValue)) kept = ParseWindowRect(*text);
    FitToArea(screen->availableGeometry(), kept);
}

void CMainWnd::FitToMonitor(QSize monitor) { FitToArea(QRect(QPoint(0, 0), monitor), std::nullopt); }

void CMainWnd::FitToArea(const QRect& available, const std::optional<WindowRect>& kept) {
    const bool wasVisible = isVisible() && !isMinimized();
    dpi_ = DpiForMonitor(available.size());
    const QSize preferred = SizeForMonitor(available.size());
    // On a screen smaller than the minimum the screen wins: the window stays whole on it.
    setMinimumSize(kMinimumSize.boundedTo(available.size()));
    const WindowRect place = PlaceWindow({available.x(), available.y(), available.width(), available.height()},
                                         {kMinimumSize.width(), kMinimumSize.height()},
                                         {preferred.width(), preferred.height()}, kept);
    setGeometry(place.x, place.y, place.width, place.height);
    placed_ = true;
    if (wasVisible) show();
}

void CMainWnd::KeepPlace() {
    if (!placed_ || isMaximized() || isMinimized()) return;
    registry_.Write(kWindowPlaceValue, FormatWindowRect({x(), y(), width(), height()}));
}

void CMainWnd::ShowMainWindow() {
    // Whole on its screen whenever it comes up, also after the screen changed.
    if (!isMaximized()) FitToMonitor();
    bool connected = false;
    for (CVantrelUSBDevice* device : Devices()) {
        device->SetWindowActive(true);
        connected = connected || device->Transport().Opened();
    }
    windowRoutes_.ShowConnected(connected);
    showNormal();
    raise();
    activateWindow();
}

void CMainWnd::CloseAuxWindows() {
    for (const QPointer<QWidget>& window : auxWindows_)
        if (window) window->close();
    auxWindows_.clear();
}

// ---- background ----

void CMainWnd::OpenSkinChooser() {
    QWidget* anchor = root_ != nullptr ? root_->findChild<QWidget*>(CWindowRoutes::kSkinButton) : nullptr;
    CSkinFrame::Hooks hooks;
    hooks.changed = [this](const SkinChangedParam& param) { ReceiveSkin(param); };
    // The window's own chooser: the pop-up is gone by now.
    hooks.chooseOwnPicture = [this] {
        if (const auto path = ChooseOpenFile(Dialogs(), "Pictures (*.png);;All files (*)")) ReceiveSkin({false, 0, *path});
    };
    auto* frame = new CSkinFrame(this, anchor, installFolder_ + "skin/",
                                 QString::fromStdString(GetAppDataFolder() + kSkinIniFile), std::move(hooks));
    ApplyTexts(frame, language_);
    frame->show();
}

// The pages let a chosen background through; the layout's own needs none of that.
void CMainWnd::ReceiveSkin(const SkinChangedParam& param) {
    if (root_ == nullptr) return;
    skinned_ = param.colourFlag || param.image != kDefaultSkinImage;
    ApplySkin(host_, param);
    ApplyStyleSheet();  // with or without the rules that let the background through, read again
}

// ---- settings menu ----

// The settings button opens a menu: the languages of the list, the settings
// window and About.
void CMainWnd::ShowSettingsMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName("setting_menu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QMenu* languages = menu->addMenu(QString::fromStdString(Text("setting_menu_language")));
    languages->setObjectName("setting_menu_language");
    const std::vector<LanguageEntry> list = languageChoice_.List();
    for (size_t i = 0; i < list.size(); ++i) {
        QAction* action = languages->addAction(QString::fromStdString(LanguageDisplayName(list[i])));
        action->setObjectName(QString("language_%1").arg(i));
        action->setCheckable(true);
        action->setChecked(static_cast<int>(i) == languageIndex_);
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this, [this, index] { HandleMessage(window_message::kSwitchLanguage, index, 0); });
    }
    QAction* settings = menu->addAction(QString::fromStdString(Text("setting_menu_update")), this, [this] { OpenSettings(); });
    settings->setObjectName("setwnd_menu");
    gameProfiles_->AddMenuEntry(menu);
    QAction* about = menu->addAction(QString::fromStdString(Text("setting_menu_about")), this, [this] { ShowAbout(Dialogs(), kVersion); });
    about->setObjectName("about_menu");
    QWidget* anchor = root_ != nullptr ? root_->findChild<QWidget*>(CWindowRoutes::kSettingsButton) : nullptr;
    menu->popup(anchor != nullptr ? anchor->mapToGlobal(QPoint(0, anchor->height())) : QCursor::pos());
}

// A language's own name for itself, from the language table keys.
std::string CMainWnd::LanguageDisplayName(const LanguageEntry& entry) const {
    const std::string key = entry.id == kChineseLanguageId ? "language_name_chinese" : "language_name_english";
    return entry.id == kChineseLanguageId || entry.id == kDefaultLanguageId ? Text(key) : entry.name;
}

// ---- language ----

void CMainWnd::MarkVirtualProducts() {
    auto* title = findChild<QLabel*>("title_label");
    if (title == nullptr) return;
    title->setProperty("textKey", "title_virtual_text");  // the key a language switch translates
    // Before the user's language is read, the table in force is only a stand-in:
    // its title would be laid out (and its font loaded) for nothing.
    if (languageIndex_ >= 0) ApplyTexts(title, language_);
    // The no-device page would tell how to start on virtual products: it runs on them already.
    if (auto* hint = findChild<QLabel*>("nodevice_virtual_label")) hint->hide();
}

void CMainWnd::ApplyLanguage(int index) {
    const std::vector<LanguageEntry> list = languageChoice_.List();
    if (list.empty()) return;  // the table loaded at start stays in force
    if (index < 0 || static_cast<size_t>(index) >= list.size()) index = 0;
    if (index != languageIndex_) {
        if (auto family = FontFamilyFor(index, languageIndex_)) {
            fontFamily_ = *family;
            ApplyFontFamily(list[static_cast<size_t>(index)].id == kChineseLanguageId);
        }
    }
    const LanguageEntry& entry = list[static_cast<size_t>(index)];
    language_.Load(installFolder_.toStdString() + "skin/lang/" + entry.file);
    if (selector_) selector_->RefreshTexts();  // selector names: texts set from code
    pages_.RefreshTexts();                   // key rows
    if (currentPage_ != nullptr && pages_.PageOf(&currentPage_->Device()) == nullptr) currentPage_->RefreshTexts();
    ApplyTexts(this, language_);
    languageChoice_.StoreLanguageId(entry.id);
    for (const QPointer<QWidget>& window : auxWindows_)
        if (window) ApplyTexts(window, language_);
    languageIndex_ = index;
    update();
}

// The style sheet names the font for every widget, so the family goes into
// it, after the skin's own rules: a later rule of the same weight wins.
void CMainWnd::ApplyFontFamily(bool chinese) {
    QStringList families{QString::fromStdString(fontFamily_)};
    families << (chinese ? QStringList{"Noto Sans CJK SC", "DejaVu Sans"} : QStringList{"DejaVu Sans", "Noto Sans CJK SC"});
    QStringList quoted;
    for (const QString& family : families) quoted << '"' + family + '"';
    fontStyle_ = QString("\nQWidget { font-family: %1; }\n").arg(quoted.join(", "));
    ApplyStyleSheet();
}

// The skin's sheet, the rules of a chosen background while one is shown, then the font.
void CMainWnd::ApplyStyleSheet() { setStyleSheet(skinStyle_ + (skinned_ ? skinnedStyle_ : QString()) + fontStyle_); }

DialogContext CMainWnd::Dialogs() { return {this, &host_, &language_, installFolder_ + "skin/"}; }

// ---- workers and closing ----

void CMainWnd::StartWorker(size_t slot, std::function<void(const StopEvent&)> body, const char* name) {
    if (slot < workers_.size()) workers_[slot].Start(std::move(body), name);
}

void CMainWnd::StopWorkers() {
    static const char* kLines[] = {"所有对象处于激发状态", "所有对象处于非激发状态，超时"};
    for (size_t slot = 0; slot < workers_.size(); ++slot) {
        if (!workers_[slot].Running()) continue;
        const auto result = workers_[slot].Stop(std::chrono::milliseconds(1000));
        DebugTrace::Printf("%s%zu", kLines[result == StoppableThread::StopResult::Ended ? 0 : 1], slot);
    }
}

// "Start with the session", ticked while the autostart entry exists.
void CMainWnd::AddAutostartEntry(QMenu* menu) {
    QAction* action = menu->addAction(QString::fromStdString(Text("autostart_text")));
    action->setCheckable(true);
    action->setChecked(AutostartEnabled());
    connect(action, &QAction::toggled, this, [this](bool on) {
        if (!SetAutostart(on, QCoreApplication::applicationFilePath().toStdString()))
            ShowMessage(Dialogs(), "", "autostart_failed_text", dpi_, true, kButtonsConfirm);
    });
}

// Two switches of the tray menu, the same as the settings window's.
void CMainWnd::AddNewsEntries(QMenu* menu) {
    if (!news_) return;
    const NewsChoices choices = news_->Choices();
    const auto add = [this, menu, choices](const char* textKey, bool NewsChoices::*member) {
        QAction* action = menu->addAction(QString::fromStdString(Text(textKey)));
        action->setCheckable(true);
        action->setChecked(choices.*member);
        connect(action, &QAction::toggled, this, [this, member](bool on) {
            NewsChoices changed = news_->Choices();
            changed.*member = on;
            SetNewsChoices(changed);
        });
    };
    add("notify_battery_text", &NewsChoices::battery);
    add("notify_link_text", &NewsChoices::link);
}

void CMainWnd::SetNewsChoices(const NewsChoices& choices) {
    if (!news_) return;
    news_->SetChoices(choices);
    if (!WriteNewsChoices(registry_, choices)) DebugTrace::Write("notification choices not saved: registry.json not writable");
}

void CMainWnd::RequestExit() {
    if (isVisible()) KeepPlace();
    exitRequested_ = true;
    CloseAuxWindows();
    DebugTrace::Write("退出测试");
    hide();
    if (gameProfiles_) gameProfiles_->Stop();  // while the devices can still be written
    if (channel_) channel_->Shutdown();  // the scan thread must not wait for us while we join it
    StopWorkers();
    // The watcher is stopped: the capture program is told to quit and none is left.
    if (music_) music_->Shutdown();
    if (tray_ != nullptr) tray_->hide();
    emit exitRequested();
}

bool CMainWnd::TrayUsable() const {
    return tray_ != nullptr && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void CMainWnd::HideWindow() {
    KeepPlace();
    CloseAuxWindows();
    hide();
    for (CVantrelUSBDevice* device : Devices()) device->SetWindowActive(false);
    // Without a tray there is no way back to a hidden window: closing ends the
    // program, also when the tray went away after start (its panel ended).
    if (!TrayUsable()) RequestExit();
}

void CMainWnd::closeEvent(QCloseEvent* event) {
    if (!exitRequested_) HideWindow();
    event->accept();
}

void CMainWnd::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const bool wasMinimized = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
    if (wasMinimized == isMinimized()) return;
    for (CVantrelUSBDevice* device : Devices()) device->SetWindowActive(!isMinimized());
}

void CMainWnd::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CMainWnd::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace m470::qt

namespace m470::qt {

// ---- profiles that follow the running program ----

void CMainWnd::CreateGameProfiles() {
    GameProfiles::Window window;
    window.pages = [this] { return ReachablePages(); };
    window.notify = [this](const std::string& text) {
        if (tray_ != nullptr)
            tray_->showMessage(QString::fromStdString(Text("game_profiles_menu")), QString::fromStdString(text), QSystemTrayIcon::Information, 4000);
    };
    window.translate = [this](std::string_view key) { return Text(std::string(key)); };
    gameProfiles_ = std::make_unique<GameProfiles>(registry_, std::move(window));
}

std::vector<CDevicePage*> CMainWnd::ReachablePages() const {
    std::vector<CDevicePage*> pages;
    for (const auto& page : pages_.Pages())
        if (selector_ == nullptr || selector_->Reachable(&page->Device())) pages.push_back(page.get());
    if (currentPage_ != nullptr && std::find(pages.begin(), pages.end(), currentPage_) == pages.end()) pages.push_back(currentPage_);
    return pages;
}

// ---- music lighting and the palette ----

void CMainWnd::StartMusicLighting() {
    if (music_) return;
    music_ = std::make_unique<MusicLighting>(installFolder_, [this] { return manager_.get(); }, [this] { return Dialogs(); });
    StartWorker(1, [this](const StopEvent& stop) { music_->Watch(stop); }, "audio-watch");
    music_->Start();
}

void CMainWnd::OpenMusic() {
    if (!music_) music_ = std::make_unique<MusicLighting>(installFolder_, [this] { return manager_.get(); }, [this] { return Dialogs(); });
    music_->OpenMusic(this);
}

void CMainWnd::WindowPageContext::LinksChanged() {
    if (window_.gameProfiles_) window_.gameProfiles_->Reconsider();
}

void CMainWnd::WindowPageContext::ResetMusicStyles() {
    if (window_.music_) window_.music_->ResetAudioFile();
}

std::optional<uint32_t> CMainWnd::WindowPageContext::ChoosePaletteColour(uint32_t argb) {
    return RunPaletteWindow(window_.Dialogs(), argb);
}

}  // namespace m470::qt
