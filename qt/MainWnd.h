#pragma once
// The one top-level window: builds its layout, routes every notification and
// window message to the operation that owns it, keeps the tray icon, fits
// itself to the monitor and owns the worker table.
#include <QMenu>
#include <QPointer>
#include <QSize>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "device_link/HidBackend.h"
#include "platform/StoppableThread.h"
#include "lighting/GameLighting.h"
#include "lighting/LightSync.h"
#include "platform/Registry.h"
#include "macros/DeviceHook.h"
#include "panels/PanelWindow.h"
#include "qt/CaptureFilter.h"
#include "qt/DesktopNotifier.h"
#include "qt/Dialogs.h"
#include "qt/GameProfiles.h"
#include "qt/InstanceChannel.h"
#include "qt/MusicLighting.h"
#include "qt/QtControlHost.h"
#include "qt/QtMessageChannel.h"
#include "qt/SdkService.h"
#include "qt/Texts.h"
#include "pages/DeviceSelector.h"
#include "pages/PageBuilder.h"
#include "pages/PageContextSwitch.h"
#include "ctl/CtlExecutor.h"
#include "shell/Language.h"
#include "shell/SkinChange.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutes.h"

namespace m470 {
class CVantrelUSBDevice;
class CDeviceManager;
}

namespace m470::qt {

// Window messages with numbers (the rest arrive by name on the local socket).
namespace window_message {
inline constexpr uint32_t kShowProgress = 0xC00;
inline constexpr uint32_t kSwitchLanguage = 0xC11;
inline constexpr uint32_t kInterfaceArrived = 0x0C12;
inline constexpr uint32_t kInterfaceLost = 0x0C13;
inline constexpr uint32_t kOpenSettings = 0x0C15;
inline constexpr uint32_t kClearSettingsMark = 0x0C16;
inline constexpr uint32_t kLink = 0x0D03;
}  // namespace window_message

inline constexpr int kTimerFit = 1011;
inline constexpr int kTimerTrayMenu = 1032;
inline constexpr int kTimerProfileChoice = 1055;
inline constexpr int kTimerGameRestore = 1066;
// Game events closer together than this are taken as the last of them: each
// one saves the profile and writes the device.
inline constexpr int kTimerGameBatch = 1067;
inline constexpr int kGameBatchMs = 100;
inline constexpr size_t kWorkerSlots = 20;

class CMainWnd : public QWidget {
    Q_OBJECT

public:
    explicit CMainWnd(QString installFolder, QWidget* parent = nullptr);
    ~CMainWnd() override;

    bool InitWindow();
    void OnWindowInit();
    void Notify(const ui::Notification& notification);
    // Numbered window messages; named ones come through HandleNamedMessage.
    intptr_t HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam);
    // reply: a line back on the connection the message came on (none from a script).
    void HandleNamedMessage(const InstanceMessage& message, const std::function<void(const std::string&)>& reply = {});
    // An m470ctl request, carried out on the pages as if typed there; the reply line.
    std::string HandleControlRequest(const std::vector<std::string>& words);

    // The smallest window at which every page shows its controls whole.
    static constexpr QSize kMinimumSize{940, 520};
    // 1500 × 960 on a monitor wider than 1500 and taller than 960, else 1000 × 640.
    static QSize SizeForMonitor(QSize monitor);
    static int DpiForMonitor(QSize monitor);
    // Inside the free area of the window's screen: last time's place at the
    // first fit, the current one later, moved and shrunk onto the screen.
    void FitToMonitor();
    // The preferred size for a monitor of that size, centred on it.
    void FitToMonitor(QSize monitor);
    // The place kept for the next start ("WINDOW_PLACE" in the registry file).
    void KeepPlace();
    void ShowMainWindow();
    void CloseAuxWindows();

    void ApplyLanguage(int index);
    // The title says that the products are virtual ones, in every language.
    void MarkVirtualProducts();
    // The settings button's menu: languages, the settings window and About.
    void ShowSettingsMenu();
    // "skinbtn": the background chooser under it; a choice is drawn behind the pages.
    void OpenSkinChooser();
    void ReceiveSkin(const SkinChangedParam& param);
    // The settings window with the update list, modal; nothing while one is open.
    void OpenSettings();
    // "closebtn": hidden to the tray, or, without a tray to come back from
    // (none at start, or gone since), the end of the program.
    void HideWindow();
    // A tray icon shown in a tray that is there now.
    bool TrayUsable() const;
    // Start hidden in the tray (after InitWindow); ignored without a tray.
    void StartInTray(bool inTray) { startHidden_ = inTray && TrayUsable(); }
    bool StartsHidden() const { return startHidden_; }
    void AddAutostartEntry(QMenu* menu);
    int LanguageIndex() const { return languageIndex_; }
    const LanguageTable& Language() const { return language_; }
    std::string Text(const std::string& key) const { return language_.Text(key); }

    QtControlHost& Host() { return host_; }
    DialogContext Dialogs();
    int Dpi() const { return dpi_; }
    QSize ScreenSize() const { return screen_; }

    // The device whose page is shown: the selected entry's, unless a test sets one.
    void SetCurrentDevice(CVantrelUSBDevice* device) { currentDevice_ = device; currentPage_ = nullptr; }
    // A page a test built and keeps, shown as the current one (nullptr: none).
    void SetCurrentPage(CDevicePage* page);
    CVantrelUSBDevice* CurrentDevice() const;
    CDevicePage* CurrentPage() const;
    CDevicePage* PageOf(const CVantrelUSBDevice* device) const;
    CPageBuilder& Pages() { return pages_; }
    PageContext& Context() { return pageContext_; }
    std::vector<CVantrelUSBDevice*> Devices() const;
    // The worker that steps the devices in same mode.
    CLightSync& LightSync() { return lightSync_; }
    CDeviceManager* Manager() const { return manager_.get(); }
    // The device selector: entries, power panels and the page layouts.
    CDeviceSelector* Selector() const { return selector_.get(); }
    // Creates the device manager and starts its scanning thread (worker slot 0).
    void StartDeviceManager(std::shared_ptr<HidBackend> backend);
    // Launches the capture program and its watcher (worker slot 1); the
    // lights of the first mouse and keyboard follow the music from then on.
    void StartMusicLighting();
    MusicLighting* Music() const { return music_.get(); }
    // "music_setting_btn": the music window, modal.
    void OpenMusic();
    // "DPI_color_option_" + stage: the palette on the current mouse's stage colour.
    bool LightingControl() const { return lightingControl_; }
    // A click on the lighting-control button: flip, tell other programs, tell the devices.
    void ToggleLightingControl();
    // Where the window's broadcasts to other programs go.
    void SetBroadcaster(std::function<void(const InstanceMessage&)> broadcast) { broadcast_ = std::move(broadcast); }

    // Worker slots 0-19, each with its stop event; stopped and joined on close.
    void StartWorker(size_t slot, std::function<void(const StopEvent&)> body, const char* name);
    void StopWorkers();

    bool ExitRequested() const { return exitRequested_; }
    void RequestExit();

    // Profiles that follow the running program; the looks start with the device manager.
    GameProfiles& Games() { return *gameProfiles_; }

    // The OpenRGB SDK server (made with the device manager).
    SdkService* Sdk() const { return sdk_.get(); }
    // The server switched from the settings window or m470ctl: the status line, translated.
    std::string SwitchSdk(bool on);
    // How the server fares, translated: its port, the port it could not open, or nothing when off.
    std::string SdkStatusLine() const;

    // The one input-capture owner; its filter takes keys and buttons while a mode is set.
    CDeviceHook& Hook() { return hook_; }

signals:
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Minimised or restored: the pictures stop or start again.
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

    void OnDeviceSetChanged();
    // The services the pages' key and macro panels ask of the window.
    void SetUpPanelWindow();
    void OpenLayoutMenu(const std::string& layout, std::function<void(const std::string&)> chosen);

private:
    void FitToArea(const QRect& available, const std::optional<WindowRect>& kept);
    void StartTimer(int id, int delayMs);
    void OnTimer(int id);
    void HandleTimer(int id);
    void DispatchNotification(const ui::Notification& n);
    bool FromOtherWindow(const ui::Notification& n) const;
    // File trouble reported by the core during a handler: the first, with its reason, once.
    void ShowFileAlert();
    // Device objects live until the window closes; this says one is still known.
    bool Holds(CVantrelUSBDevice* device) const;
    void GameEvent(intptr_t kind, intptr_t mode);
    void SetLightingControl(bool on);
    void TellDevicesLightingControl();
    void CreateTray();
    void AddNewsEntries(QMenu* menu);
    void SetNewsChoices(const NewsChoices& choices);
    void CreateGameProfiles();
    // The pages of the devices that can be reached now, and a page a test shows.
    std::vector<CDevicePage*> ReachablePages() const;
    std::string LanguageDisplayName(const LanguageEntry& entry) const;
    void ApplyFontFamily(bool chinese);
    void ApplyStyleSheet();

    QString installFolder_;
    QtControlHost host_;
    QWidget* root_ = nullptr;
    RegistryStore registry_;
    LanguageChoice languageChoice_;
    LanguageTable language_;
    CLightSync lightSync_;
    int languageIndex_ = -1;
    std::string fontFamily_;
    QString skinStyle_;
    QString skinnedStyle_;  // only while a background of the user's choice is shown
    QString fontStyle_;     // the language's font family, last
    bool skinned_ = false;
    int dpi_ = 96;
    QSize screen_;
    std::map<int, QTimer*> timers_;
    std::array<StoppableThread, kWorkerSlots> workers_;
    QSystemTrayIcon* tray_ = nullptr;
    std::vector<QPointer<QWidget>> auxWindows_;
    CVantrelUSBDevice* currentDevice_ = nullptr;
    CDevicePage* currentPage_ = nullptr;
    // Dialogs and window operations for the pages.
    class WindowPageContext : public PageContext {
    public:
        explicit WindowPageContext(CMainWnd& window) : window_(window) {}
        bool Confirm(const std::string& textKey) override;
        void Notice(const std::string& textKey) override;
        void NoticeNumber(const std::string& textKey, int number) override;
        std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
        std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
        std::optional<std::string> ChooseProgram() override { return qt::ChooseProgram(window_.Dialogs()); }
        bool Shown(const CVantrelUSBDevice& device) const override;
        void ProfileChosen(CVantrelUSBDevice& device) override;
        void SameMode(CVantrelUSBDevice& device) override;
        void LinksChanged() override;
        void ResetMusicStyles() override;
        std::optional<uint32_t> ChoosePaletteColour(uint32_t argb) override;

    private:
        CMainWnd& window_;
    };

    // What the window's own controls ask of it.
    class WindowControlActions : public WindowActions {
    public:
        explicit WindowControlActions(CMainWnd& window) : window_(window) {}
        void CloseWindow() override { window_.close(); }
        void MinimizeWindow() override { window_.showMinimized(); }
        bool ToggleMaximized() override;
        void ShowSettingsMenu() override { window_.ShowSettingsMenu(); }
        void ToggleLightingControl() override { window_.ToggleLightingControl(); }
        void OpenSystemSettings(int panel) override;
        void ChooseDevice(ui::Control* entry) override;
        void OpenMusic() override { window_.OpenMusic(); }
        void OpenSkinChooser() override { window_.OpenSkinChooser(); }

    private:
        CMainWnd& window_;
    };

    std::unique_ptr<QtMessageChannel> channel_;
    // Before the devices and their selector: their listeners tell the news.
    DesktopNotifier notifier_;
    std::unique_ptr<CProductNews> news_;
    std::unique_ptr<CDeviceManager> manager_;
    std::unique_ptr<MusicLighting> music_;
    // After the manager: the entries go before the devices they show.
    std::unique_ptr<CDeviceSelector> selector_;
    // After the manager: the pages go before the devices they listen to.
    WindowPageContext pageContext_{*this};
    // The pages ask the window, or an m470ctl request while one runs.
    PageContextSwitch pageContexts_{&pageContext_};
    CPageBuilder pages_{&pageContexts_};
    // m470ctl's view of the window's products and pages.
    class ControlTarget : public ctl::CtlTarget {
    public:
        explicit ControlTarget(CMainWnd& window) : window_(window) {}
        std::vector<CVantrelUSBDevice*> Devices() const override { return window_.Devices(); }
        CDevicePage* PageOf(const CVantrelUSBDevice* device) const override { return window_.PageOf(device); }
        bool Reachable(const CVantrelUSBDevice* device) const override;
        PageContextSwitch& PageContexts() override { return window_.pageContexts_; }
        std::vector<RefusedNode> Refused() const override {
            return window_.manager_ ? window_.manager_->Refused() : std::vector<RefusedNode>{};
        }
        QuickProfileChoice& ProfileChoice() override { return window_.profileChoice_; }
        ctl::Reply SwitchSdk(bool on) override;

    private:
        CMainWnd& window_;
    };
    ControlTarget controlTarget_{*this};
    // After the pages and devices it reaches: it goes before them.
    std::unique_ptr<SdkService> sdk_;
    LanguageTable english_;
    WindowControlActions windowActions_{*this};
    CWindowRoutes windowRoutes_{host_, windowActions_};
    bool lightingControl_ = true;
    std::function<void(const InstanceMessage&)> broadcast_;
    bool exitRequested_ = false;
    bool startHidden_ = false;
    // A strip's profile choice waiting for a later one (kTimerProfileChoice).
    QuickProfileChoice profileChoice_;
    std::optional<InstanceMessage> pendingGameEvent_;
    CGameLighting gameLighting_;
    std::unique_ptr<GameProfiles> gameProfiles_;
    bool showingFileAlert_ = false;
    QPoint dragOffset_;
    bool placed_ = false;
    QPointer<QWidget> setWnd_;
    PanelWindow panelWindow_;
    // Declared before the hook, which removes its capture when it goes.
    CaptureFilter capture_{hook_};
    CDeviceHook hook_{&capture_};
};

}  // namespace m470::qt
