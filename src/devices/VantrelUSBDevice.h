#pragma once
// The base of every device object: one physical product (with its receiver)
// as page, working model and link owner.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device_link/DeviceInfo.h"
#include "device_link/HidTransport.h"
#include "device_link/KnownInterface.h"
#include "devices/AudioRenderers.h"
#include "devices/LightingSteps.h"
#include "devices/Products.h"
#include "platform/StoppableThread.h"
#include "profiles/BasicProfiledata.h"
#include "lighting/LightControlUI.h"
#include "panels/PanelWindow.h"
#include "platform/TickClock.h"
#include "profiles/DeviceProfileUI.h"
#include "ui/Ctl.h"
#include "ui/MessageChannel.h"

namespace m470 {

// What the selector entry of a device knows and what a timer asks it to do.
struct SelectorState {
    bool shown = false;
    int linkRetries = 0;  // wraps to 0 at 20
};
struct TimerRequest {
    int id;
    int delayMs;
    friend bool operator==(const TimerRequest&, const TimerRequest&) = default;
};

// Selector timer ids.
inline constexpr int kTimerRender = 1000;
inline constexpr int kTimerFirstRead = 1001;
inline constexpr int kTimerReload = 1002;
inline constexpr int kTimerHookA = 1003;
inline constexpr int kTimerHookB = 1004;
inline constexpr int kTimerPower = 1005;
inline constexpr int kTimerLinkWatch = 1007;

// A tab of the profile strip on a page with settings pages: the page it
// shows, and whether its panel is built yet (a tab without one stays hidden).
struct OptionTabPage {
    int tab;  // 1 "deng_Op_tab" ... as the strip numbers them
    const char* name;
    int settingsPage;
    bool built;
};
// A page's stack of settings pages, its row of options choosing them, and the strip's tabs.
struct SettingsPages {
    const char* layout;
    const char* options;
    const char* optionPrefix;
    std::span<const OptionTabPage> tabs;
};

class CVantrelUSBDevice {
public:
    explicit CVantrelUSBDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend = nullptr);
    virtual ~CVantrelUSBDevice();
    CVantrelUSBDevice(const CVantrelUSBDevice&) = delete;
    CVantrelUSBDevice& operator=(const CVantrelUSBDevice&) = delete;

    // ---- virtual operations, in slot order ----
    virtual void BindKeyButtons();
    virtual int ApplyProfile();
    virtual void StepBreathing();
    virtual void StepBreathingPalette();
    virtual void StepStatic();
    virtual void StepSpectrum();
    virtual void StepBlink();
    virtual void StepBlinkPalette();
    virtual void StepOff();
    virtual void RenderLighting();
    virtual void SetLedColour(int index, uint32_t entry);
    virtual uint32_t GetLedColour(int index) const;
    virtual int ReadFromDevice();
    virtual void ReloadSettings();
    virtual void HookA() {}
    virtual void HookB() {}
    virtual void QueryPower();
    virtual bool CheckLink();
    virtual void LoadAssignments() {}
    virtual void HookC() {}
    // Puts the model on the page's panels without writing anything.
    virtual void ShowPanels() {}
    // The panels, and for a product whose page edits its record, the record to the device.
    virtual void RefreshPanels() { ShowPanels(); }
    virtual void HookD() {}
    virtual void HookE() {}
    virtual void PruneMacroKeys() {}
    virtual void LoadProfile();
    virtual std::vector<int> CollectUsedMacros() { return {}; }
    virtual int WriteKeyAssignments(int page, const std::vector<int>& macros);
    virtual int WriteKeyAssignmentsWithMacros(int page);
    virtual int WriteSecondKeyTableWithMacros(int page);
    virtual int WriteSecondKeyTable(int page, const std::vector<int>& macros);
    virtual int WriteMacros(const std::vector<int>& macros);
    virtual int WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight);
    virtual void LoadPanelLists() {}
    virtual void SetKeyIndexMap(const std::vector<uint8_t>& map) { keyIndexMap_ = map; }
    virtual void DecayTrail(size_t position, int mode);
    virtual void SeedTrail();
    virtual void RotateTrail(bool upwards);
    virtual void ResetTrail();
    virtual void ShowFunctionPage(int kind);
    // Option tab 1 to 8 of the profile strip was chosen: show its panel.
    virtual void ShowOptionTab(int /*number*/) {}
    // A notification of the device's own page controls; false when it is none of them.
    virtual bool HandlePageNotification(const ui::Notification& notification) { (void)notification; return false; }
    // The texts the page sets from code, again in the language now in force.
    virtual void RefreshTexts() {}
    virtual int GetFunctionPage() const { return functionPage_; }
    virtual void SetProfilePaths();
    virtual std::string GetProfilePath() const { return profilePath_; }
    virtual bool SaveProfile();
    virtual void SetModelLightIndex(int index) { modelLightIndex_ = index; }
    virtual int GetModelLightIndex() const { return modelLightIndex_; }
    virtual void SetLightInfo(const std::array<uint32_t, 3>& words, uint16_t half);
    virtual void SetAudioLightInfo(const AudioLightInfo& info);
    virtual AudioLightInfo GetAudioLightInfo() const;
    virtual void SelectKey(int index) { selectedKey_ = index; }
    virtual void SelectSecondLayerKey(int index) { selectedSecondKey_ = index; }
    virtual void FeedAudioSpectrum(const std::array<int32_t, kAudioBands>& bands, int count);
    virtual void FeedAudioBands(const std::vector<int32_t>& bands) { (void)bands; }
    // The keyboard's custom lighting: switch group, redraw it, light all (1) or none (0).
    virtual void SwitchCustomGroup(int group) { (void)group; }
    virtual void RedrawCustomLighting() {}
    virtual void SetCustomColour(int on) { (void)on; }
    // The key and macro panels of a mouse or keyboard page: the window's
    // services, captured input, the end of a capture, their notifications.
    virtual void SetPanelWindow(const PanelWindow* window) { (void)window; }
    virtual void OnCapturedKey(int mode, const CapturedKey& key) { (void)mode, (void)key; }
    virtual void OnCapturedButton(int mode, const CapturedButton& button) { (void)mode, (void)button; }
    virtual void StopCapture() {}
    virtual bool HandlePanelNotification(const ui::Notification& n) { (void)n; return false; }

    // ---- profiles ----
    // The page's profile strip ("DeviceProfileItem"): list, current profile.
    CDeviceProfileUI* ProfileStrip() const { return profileStrip_.get(); }
    // The page's lighting panel ("LightControlItem"); nullptr without one.
    CLightControlUI* LightPanel() const { return lightPanel_.get(); }
    // Rows of this model's lighting-mode table (0 until the page is built).
    size_t LightModeCount() const { return modeNames_.size(); }
    // Makes the strip's current profile the model's and the page's: reload, refresh.
    void ShowChosenProfile();
    // Makes the strip's current profile the device's: reload, refresh, write.
    // 0 on success, -1 when the write failed, else the surplus macro events.
    int ApplyChosenProfile();
    // Every setting of the model to the hardware; same results as above.
    virtual int WriteAllSettings();

    // ---- identity and UI links ----
    DeviceKind Kind() const { return kind_; }
    void SetIdentity(const KnownInterface& row, size_t rowIndex, const std::string& path);
    const KnownInterface& Identity() const { return identity_; }
    void SetModelIndex(int index) { modelIndex_ = index; }
    int ModelIndex() const { return modelIndex_; }
    void SetDeviceName(const std::string& name) { deviceName_ = name; }
    const std::string& DeviceName() const { return deviceName_; }
    void SetLightCatalogueName(const std::string& name) { lightCatalogueName_ = name; }
    // The product's facts: name, light-model row, key and LED counts, catalogue, factory file.
    void ApplyProduct(const ProductRow& product);
    void SetProfileName(const std::string& name) { profileName_ = name; }
    const std::string& ProfileName() const { return profileName_; }
    std::string DataFolder() const;
    std::string DefaultProfilePath() const;

    void SetUi(ui::ControlHost* host, ui::Control* page);
    ui::Control* Page() const { return page_; }
    void SetOwner(ui::MessageChannel* owner) { owner_ = owner; }
    // A message box for the user: a language text key, or a plain text.
    using NoticeSink = std::function<void(const std::string& text, bool isKey)>;
    void SetNoticeSink(NoticeSink sink) { noticeSink_ = std::move(sink); }
    using PowerSink = std::function<void(const std::array<uint8_t, 6>& status)>;
    void SetPowerPanel(PowerSink sink) { powerPanel_ = std::move(sink); }
    void SetHasPowerPanel(bool has) { hasPowerPanel_ = has; }
    bool HasPowerPanel() const { return hasPowerPanel_; }
    // Only a device with a power panel can suppress its polling.
    void SetPowerPollingSuppressed(bool suppressed) { if (hasPowerPanel_) powerPollingSuppressed_ = suppressed; }
    void SetKeyButtonCount(size_t count) { keyButtonCount_ = count; }
    // Resizes and clears the LED frame, the preview list and the per-LED records.
    void SetLedCount(size_t count);
    size_t LedCount() const;

    // Work that must run on the UI thread (panels, controls) when it is
    // started from a device thread; without an invoker it runs at once.
    using UiInvoker = std::function<void(std::function<void()>)>;
    void SetUiInvoker(UiInvoker invoker) { uiInvoker_ = std::move(invoker); }
    // Asks the selector entry to start one of its timers.
    using TimerRequester = std::function<void(int id, int delayMs)>;
    void SetTimerRequester(TimerRequester requester) { timerRequester_ = std::move(requester); }
    // The primary screen's size, taken once at start-up.
    void SetScreenSize(int width, int height) {
        screenWidth_ = width;
        screenHeight_ = height;
    }

    // ---- flags ----
    void SetLightControlFlag(int flag);
    int LightControlFlag() const { return lightControlFlag_; }
    // Cleared while the window is hidden or minimised: the picture is then
    // neither redrawn nor its timer run. Setting it starts the picture again.
    void SetWindowActive(bool active);
    bool WindowActive() const { return windowActive_; }
    // While set the lighting thread blocks; clearing it wakes the thread.
    void SetSynced(bool synced);
    bool Synced() const { return synced_; }

    // ---- link ----
    CHidTransport& Transport() { return transport_; }
    const DeviceInfo& Info() const { return deviceInfo_; }
    bool OpenNotify(const std::string& path, bool receiver);
    void CloseNotify(bool receiver);
    bool NotifyOpen(bool receiver) const;
    CHidDevice& NotifyInterface(bool receiver) { return receiver ? notifyReceiver_ : notifyWired_; }

    // ---- threads ----
    void StartLightingThread();
    void StopLightingThread();
    bool LightingThreadRunning() const { return lightingThread_.Running(); }
    // The clock the lighting is paced by (the shared 64 Hz clock unless a
    // test gives a manual one); counting starts at its current tick.
    void SetTickClock(std::shared_ptr<const TickClock> clock);
    // What the lighting thread does after each wait: count every tick since
    // the last counted one and run the steps they make due.
    void AdvanceLighting();
    // The picture's timer runs again (UI thread): the page was selected or
    // the window came back.
    void ShowPreview();

    // ---- what the selector timers do to the device ----
    // Each returns the timers to start next.
    std::vector<TimerRequest> OnRenderTimer();
    std::vector<TimerRequest> OnFirstReadTimer(SelectorState& entry);
    std::vector<TimerRequest> OnReloadTimer();
    std::vector<TimerRequest> OnPowerTimer();
    std::vector<TimerRequest> OnLinkWatchTimer(SelectorState& entry);

    // The LED frame (read by the preview; written by the lighting thread).
    LedFrame FrameCopy() const;
    LightInfo GetLightInfo() const;
    // A lighting record chosen from outside (game events, same mode): kept
    // as the device's record and written into its profile document.
    void StoreLightInfo(const LightInfo& info);
    // The same for the audio-reactive record.
    void StoreAudioLightInfo(const AudioLightInfo& info);
    // Store, save, apply, write: a lighting record chosen on the page or from
    // outside becomes the device's, its profile's and the hardware's. Only
    // the settings record is written (keys and macros did not change).
    int CommitLightInfo(const LightInfo& info);
    // The settings record alone, with the screen size (WriteToDevice(0, 0, 1, w, h)).
    int WriteSettingsRecord();

protected:
    // A notification code (first usage) from the wired or receiver interface.
    virtual void OnNotification(uint16_t code, bool receiver) { (void)code; (void)receiver; }
    virtual const char* NotificationThreadExitLine() const { return "MS 设备同步线程设定退出"; }
    // One loop of the lighting thread after a counted tick.
    virtual void LightingTick(uint32_t& ticks);
    virtual CBasicProfiledata& Profile() { return profile_; }
    // The millisecond tick count of the lighting clock (64 Hz steps).
    virtual uint64_t TickCount() const;
    // Ticks from the last counted one until the next step is due (at least 1).
    virtual uint32_t TicksToNextStep() const;
    // A step changed the frame: the picture's timer starts if it was idle.
    void NoteFrameChanged();
    // The picture can be seen: window shown and the device's page selected.
    bool PreviewShown() const;
    // Modes whose frame stays the same from step to step once drawn: the
    // lighting thread then waits for a change instead of stepping.
    virtual bool StillEffect(int mode) const;
    // The product's own LEDs show the host's frame (the headset): the frame
    // is computed and rendered whether or not its picture can be seen.
    virtual bool LedsShowTheFrame() const { return false; }
    void SendToOwner(uint32_t message, intptr_t wParam, intptr_t lParam);
    void ShowNotice(const std::string& text, bool isKey) const {
        if (noticeSink_) noticeSink_(text, isKey);
    }
    // The macro image of the catalogue macros given (device numbers in
    // their order): 0 when sent or nothing to send, -1 when it failed, else
    // the events that did not fit.
    int DownloadMacros(const std::vector<int>& macros);
    // Settings record, the macros the keys use, then the keys: a key table is
    // sent only when the macros it points at are on the device. keyTableReady
    // makes sure the key table of the attached device was read. Results as
    // WriteAllSettings.
    int WriteRecordMacrosAndKeys(const std::function<bool()>& keyTableReady);
    // Builds the profile strip of the page and takes its current profile.
    void SetUpProfileStrip();
    // Builds the lighting panel of the page with this model's modes.
    void SetUpLightPanel();
    void HideUnbuiltTabs(const SettingsPages& pages);
    void ShowOptionTabOf(const SettingsPages& pages, int number);
    // Shows one settings page, its option chosen and the strip's tab of it, without events.
    void ShowSettingsPageOf(const SettingsPages& pages, int page);
    // Shows the device's lighting record and audio record on its panel.
    void ShowLightOnPanel();
    void RunOnUiThread(std::function<void()> work);
    void RequestSelectorTimer(int id, int delayMs);
    // The mode-code list of LoadPanelLists: mode index → device code, and back.
    uint8_t ModeCode(uint8_t modeIndex) const;
    int ModeIndexOfCode(uint8_t code) const;  // -1 when absent
    // Reads names, visibility and codes of this model's modes from
    // "default_light.json", and the macro names of the device's catalogue.
    void LoadModeList();
    void LoadMacroNames(const std::string& catalogueName);
    ui::Ctl FindOnPage(const std::string& name) const;

    std::vector<std::string> modeNames_;
    std::vector<bool> modeVisible_;
    std::vector<uint8_t> modeCodes_;
    std::vector<std::string> macroNames_;
    int screenWidth_ = 0, screenHeight_ = 0;

    DeviceKind kind_;
    CHidTransport transport_;
    DeviceInfo deviceInfo_;
    std::vector<uint8_t> keyTableImage_;
    std::vector<uint8_t> keyIndexMap_;
    ui::ControlHost* host_ = nullptr;
    ui::Control* page_ = nullptr;
    std::vector<ui::Ctl> keyButtons_, ledButtons_;

    // Lighting model (the UI thread writes it; the lighting thread reads it).
    mutable std::mutex lightMutex_;
    LightInfo lightInfo_;
    AudioLightInfo audioLightInfo_;
    mutable std::mutex frameMutex_;
    LedFrame frame_;
    EffectState effect_;
    TrailState trail_;
    ReactionState reaction_;
    AudioState audio_;
    std::mutex customMutex_;
    std::vector<LedEffectStep> customSteps_;
    CustomState custom_;
    std::mutex perLedMutex_;
    PerLedState perLed_;

private:
    void NotificationLoop(bool receiver, const StopEvent& stop);
    void LightingLoop(const StopEvent& stop);
    LightingState CurrentLighting() const;
    // The next timer 1000 when the frame is not streamed.
    std::vector<TimerRequest> NextPreviewFrame(uint64_t renderedVersion);
    // Someone needs the frame: the picture is shown or the frame is streamed.
    bool FrameWanted() const;

    KnownInterface identity_{};
    size_t identityRow_ = 0;
    std::string identityPath_;
    int modelIndex_ = -1;
    int modelLightIndex_ = 0;
    std::string deviceName_, lightCatalogueName_ = "kestro_light", profileName_;
    std::string factoryFile_;  // empty: "<device name>.Json"
    std::string profilePath_, lightCataloguePath_;
    CBasicProfiledata profile_;

    CHidDevice notifyWired_, notifyReceiver_;
    std::atomic<bool> notifyWiredOpen_{false}, notifyReceiverOpen_{false};
    std::mutex notifyWiredLock_, notifyReceiverLock_;
    StoppableThread notifyWiredThread_, notifyReceiverThread_, lightingThread_;

    ui::MessageChannel* owner_ = nullptr;
    NoticeSink noticeSink_;
    std::unique_ptr<CDeviceProfileUI> profileStrip_;
    std::unique_ptr<CLightControlUI> lightPanel_;
    UiInvoker uiInvoker_;
    TimerRequester timerRequester_;
    PowerSink powerPanel_;
    bool hasPowerPanel_ = false;
    bool powerPollingSuppressed_ = false;
    size_t keyButtonCount_ = 0;
    std::atomic<int> lightControlFlag_{1};
    std::atomic<bool> windowActive_{true};
    std::atomic<bool> synced_{false};
    uint64_t streamPausedUntilMs_ = 0;  // UI thread only

    // Lighting pace: the lighting thread's own counters.
    std::shared_ptr<const TickClock> clock_ = SharedTickClock();
    uint64_t lastCountedTick_ = clock_->Ticks();
    uint32_t lightingTicks_ = 0;
    bool frameSettled_ = false;  // a still effect has drawn its frame
    // Picture updates: the lighting thread counts frames, the UI thread
    // renders them; the timer is idle while nothing moves or nothing shows.
    std::atomic<uint64_t> frameVersion_{0};
    std::atomic<bool> renderArmed_{true};  // timer 1000 is running or requested
    std::atomic<bool> previewWanted_{true};
    std::atomic<std::chrono::steady_clock::rep> lastRender_{0};  // when timer 1000 last drew
    int selectedKey_ = -1, selectedSecondKey_ = -1;
    int functionPage_ = 1;
};

}  // namespace m470
