#pragma once
// The base of every device object: one physical product (with its receiver)
// as working model, link owner and lighting runtime. It paints nothing: it
// tells its listeners what changed and the product's page redraws.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device_link/DeviceInfo.h"
#include "device_link/HidTransport.h"
#include "device_link/KnownInterface.h"
#include "devices/AudioRenderers.h"
#include "devices/DeviceCapabilities.h"
#include "devices/KeyAssignmentModel.h"
#include "devices/LightingSteps.h"
#include "devices/Products.h"
#include "macros/MacroFiles.h"
#include "platform/StoppableThread.h"
#include "profiles/BasicProfiledata.h"
#include "platform/TickClock.h"
#include "ui/MessageChannel.h"

namespace m470 {

// One lighting mode of a product's row in default_light.json: its language
// key, whether the product offers it, its code on the wire.
struct LightModeRow {
    std::string name;
    bool visible = false;
    uint8_t code = 0;
};
// The mode rows of one product row; nullopt when the file has no such row.
std::optional<std::vector<LightModeRow>> ReadLightModes(int lightRow);

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

// What a device tells its listeners (on the UI thread) when its model moved:
// Settings the whole settings model (after a read, a profile choice or a
// device report), Lighting its lighting record (chosen from outside the
// page), Frame a new LED frame for the picture, Keys its key functions,
// Power a new battery status, Link its command link came or went, Audio
// the headset's audio settings, ProfileList the device changed its list of
// profiles (the strip reads it again and names the current one),
// CustomColours the keyboard's custom group or colours.
enum class DeviceChange { Settings, Lighting, Frame, Keys, Power, Link, Audio, ProfileList, CustomColours };

// One ripple counter shared by every device the audio feed reaches.
struct SharedRippleFeed {
    std::mutex lock;
    RippleFeed feed;
};
inline constexpr int kTimerPower = 1005;
inline constexpr int kTimerLinkWatch = 1007;

class CVantrelUSBDevice {
public:
    explicit CVantrelUSBDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend = nullptr);
    virtual ~CVantrelUSBDevice();
    CVantrelUSBDevice(const CVantrelUSBDevice&) = delete;
    CVantrelUSBDevice& operator=(const CVantrelUSBDevice&) = delete;

    // ---- the driver: the operations every product class implements ----
    // (with OnNotification and the lighting hooks below; twelve in all)
    // The model from the product attached now (its first read).
    virtual int ReadFromDevice() = 0;
    // The model read again after the product reported a change.
    virtual void ReloadSettings() = 0;
    // The chosen profile's document loaded into the model, then applied.
    virtual void LoadAssignments() = 0;
    // The profile document applied to the model and the lighting runtime.
    virtual int ApplyProfile() = 0;
    // The settings record to the product; the transport's result.
    virtual int WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight) = 0;
    // Every setting of the model to the hardware: 0 on success, -1 when the
    // write failed, else the surplus macro events.
    virtual int WriteAllSettings() = 0;

    // The picture's frame to listeners and, when the product takes it, to the product.
    void RenderLighting();

    // ---- lighting runtime ----
    void StepBreathing();
    void StepBreathingPalette();
    void StepStatic();
    void StepSpectrum();
    void StepBlink();
    void StepBlinkPalette();
    void StepOff();
    void SetLedColour(int index, uint32_t entry);
    uint32_t GetLedColour(int index) const;
    void DecayTrail(size_t position, int mode);
    void SeedTrail();
    void RotateTrail(bool upwards);
    void ResetTrail();
    void SetLightInfo(const std::array<uint32_t, 3>& words, uint16_t half);
    void SetAudioLightInfo(const AudioLightInfo& info);
    AudioLightInfo GetAudioLightInfo() const;
    void FeedAudioSpectrum(const std::array<int32_t, kAudioBands>& bands, int count);
    void QueryPower();
    bool CheckLink();
    // The settings model is new: listeners hear Settings.
    void ShowSettings();
    // The macro and mode lists of the product's catalogue and light row.
    void LoadPanelLists();
    // The chosen profile's document loaded into the model and applied.
    void LoadProfile();
    void SetProfilePaths();
    std::string GetProfilePath() const { return profilePath_; }
    bool SaveProfile();
    void SetModelLightIndex(int index) { modelLightIndex_ = index; }

    // ---- profiles ----
    // Rows of this model's lighting-mode table.
    size_t LightModeCount() const { return modeNames_.size(); }
    // The mode names, visibility and codes of "default_light.json" for this model.
    const std::vector<std::string>& ModeNames() const { return modeNames_; }
    const std::vector<bool>& ModeVisible() const { return modeVisible_; }
    // Reads names, visibility and codes of this model's modes from "default_light.json".
    void LoadModeList();
    // The names of the macros of the device's catalogue.
    const std::vector<std::string>& MacroNames() const { return macroNames_; }
    // Makes the named profile the model's: reload, then Settings to listeners.
    void ShowProfile(const std::string& profileName);
    // What the device offers beyond every product's operations (filled by its class).
    const DeviceCapabilities& Capabilities() const { return capabilities_; }

    // ---- identity and UI links ----
    DeviceKind Kind() const { return kind_; }
    void SetIdentity(const KnownInterface& row, size_t rowIndex, const std::string& path);
    const KnownInterface& Identity() const { return identity_; }
    const std::string& IdentityPath() const { return identityPath_; }
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

    void SetOwner(ui::MessageChannel* owner) { owner_ = owner; }
    // A message box for the user: a language text key, or a plain text.
    using NoticeSink = std::function<void(const std::string& text, bool isKey)>;
    void SetNoticeSink(NoticeSink sink) { noticeSink_ = std::move(sink); }
    // ---- listeners (told on the UI thread) ----
    using ChangeListener = std::function<void(DeviceChange)>;
    int AddChangeListener(ChangeListener listener);
    void RemoveChangeListener(int id);
    void Tell(DeviceChange change);
    // Preview frames go to one listener, the device's page, not through Tell
    // to every listener: a frame comes up to 30 times a second.
    void SetFrameListener(std::function<void()> listener) { frameListener_ = std::move(listener); }
    // Expires when the device goes: a listener that may outlive it checks this first.
    std::weak_ptr<const void> Lifetime() const { return lifetime_; }
    // Whether the device's page is the one shown (the picture is drawn only then).
    void SetPageShownTest(std::function<bool()> shown) { pageShown_ = std::move(shown); }
    // The last battery status read (Power).
    std::array<uint8_t, 6> PowerStatus() const { return powerStatus_; }
    void SetHasPowerPanel(bool has) { hasPowerPanel_ = has; }
    bool HasPowerPanel() const { return hasPowerPanel_; }
    // Only a device with a power panel can suppress its polling.
    void SetPowerPollingSuppressed(bool suppressed) { if (hasPowerPanel_) powerPollingSuppressed_ = suppressed; }
    void SetKeyButtonCount(size_t count) { keyButtonCount_ = count; }
    size_t KeyButtonCount() const { return keyButtonCount_; }
    // Resizes and clears the LED frame, the preview list and the per-LED records.
    void SetLedCount(size_t count);
    size_t LedCount() const;

    // The ripple counter of the audio feed; a device without one keeps its own.
    void SetRippleFeed(std::shared_ptr<SharedRippleFeed> feed) { rippleFeed_ = feed ? std::move(feed) : std::make_shared<SharedRippleFeed>(); }
    // Work that must run on the UI thread (listeners, controls) when it is
    // started from a device thread; without an invoker it runs at once.
    using UiInvoker = std::function<void(std::function<void()>)>;
    void SetUiInvoker(UiInvoker invoker) { uiInvoker_ = std::move(invoker); }
    const UiInvoker& UiThreadInvoker() const { return uiInvoker_; }
    // Asks the selector entry to start one of its timers.
    using TimerRequester = std::function<void(int id, int delayMs)>;
    // Device threads call the requester; setting it waits for a call in flight,
    // so whoever clears it may go away afterwards.
    void SetTimerRequester(TimerRequester requester) {
        std::lock_guard lock(timerRequesterMutex_);
        timerRequester_ = std::move(requester);
    }
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
    // The lighting and both notification threads stopped and joined. Every
    // device class calls it first in its destructor: the threads run its code.
    void StopThreads();
    bool LightingThreadRunning() const { return lightingThread_.Running(); }
    // The clock the lighting is paced by (the shared 64 Hz clock unless a
    // test gives a manual one); counting starts at its current tick.
    void SetTickClock(std::shared_ptr<const TickClock> clock);
    // What the lighting thread (or the shown picture's timer) does after each
    // wait: count every tick since the last counted one and run the steps they
    // make due.
    void AdvanceLighting();
    // The tick the lighting thread waits for next; none while it waits to be
    // woken (nothing wants the frame, or a still effect has drawn it).
    std::optional<uint64_t> NextLightingTick() const;
    // The picture's timer runs again (UI thread): the page was selected or
    // the window came back.
    void ShowPreview();

    // ---- what the selector timers do to the device ----
    // Each returns the timers to start next.
    std::vector<TimerRequest> OnRenderTimer();
    std::vector<TimerRequest> OnFirstReadTimer(SelectorState& entry);
    // The first read of the product attached now has run: its page shows what it holds.
    bool FirstReadDone() const { return firstRead_.Current(transport_); }
    std::vector<TimerRequest> OnReloadTimer();
    std::vector<TimerRequest> OnPowerTimer();
    std::vector<TimerRequest> OnLinkWatchTimer(SelectorState& entry);

    // The LED frame (read by the preview; written by the lighting thread).
    LedFrame FrameCopy() const;
    // The same into a buffer the caller keeps: a preview frame allocates nothing.
    const LedFrame& CopyFrame(LedFrame& into) const;
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

    // ---- colours another program sends (the SDK server's Direct mode; UI thread) ----
    // The frame takes the colours from LED first on, the effect steps pause,
    // and the frame goes to the product at the pace of its own stream.
    void ShowHostColours(size_t first, const std::vector<Rgb>& colours);
    // The profile's effect takes the frame back.
    void EndHostColours();
    bool HostColoursShown() const { return hostColours_; }

protected:
    // ---- the driver, continued ----
    // A notification code (first usage) from the wired or receiver interface.
    virtual void OnNotification(uint16_t code, bool receiver) = 0;
    // One loop of the lighting thread after a counted tick.
    virtual void LightingTick(uint32_t& ticks) = 0;
    // Counted ticks from one step to the next in the current mode.
    virtual uint32_t StepDueTicks() const = 0;
    // Modes whose frame stays the same from step to step once drawn: the
    // lighting thread then waits for a change instead of stepping.
    virtual bool StillEffect(int mode) const = 0;
    // The frame goes to the product on every render (the audio modes).
    virtual bool StreamsFrame() const = 0;
    // Sends one frame to the product; the transport's result.
    virtual int StreamFrame(const LedFrame& frame) = 0;

    // ---- lighting runtime the drivers share ----
    // The lighting and audio records of the profile document, its per-LED
    // records and custom effect, as the lighting runtime's.
    int ApplyLightingProfile();
    // The steps of the mode table (the mouse's modes, the custom effect),
    // their pace, and the stream of the audio mode (mode 11).
    void StepModeTable(uint32_t& ticks);
    uint32_t ModeTableDueTicks() const;
    bool StreamsAudioFrame() const;
    int StreamFrameBytes(const LedFrame& frame);
    // The product's own LEDs show the host's frame (the headset): the frame
    // is computed whether or not its picture can be seen, and handed to show
    // after each step and each render.
    void SetLedsShowFrame(std::function<void()> show) { ledsShowFrame_ = std::move(show); }
    // The profile document of the product (its own class of document).
    CBasicProfiledata& Profile() { return *document_; }
    void UseProfileDocument(CBasicProfiledata& document) { document_ = &document; }
    // The trace line the notification threads end with.
    void SetNotificationExitLine(const char* line) { notificationExitLine_ = line; }
    // The millisecond tick count of the lighting clock (64 Hz steps).
    uint64_t TickCount() const;
    // Ticks from the last counted one until the next step is due (at least 1).
    uint32_t TicksToNextStep() const;
    // A step changed the frame: the picture's timer starts if it was idle.
    void NoteFrameChanged();
    // The picture can be seen: window shown and the device's page selected.
    bool PreviewShown() const;
    void WakeLightingThread() { lightingThread_.Wake(); }
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
    int WriteRecordMacrosAndKeys(KeyAssignmentModel& keys, const std::function<bool()>& keyTableReady);
    // The factory profile becomes the working model until a profile is
    // chosen; called from a class's constructor, once its document exists.
    void LoadFactoryProfile();
    void RunOnUiThread(std::function<void()> work);
    void RequestSelectorTimer(int id, int delayMs);
    // The mode-code list of LoadPanelLists: mode index → device code, and back.
    uint8_t ModeCode(uint8_t modeIndex) const;
    int ModeIndexOfCode(uint8_t code) const;  // -1 when absent
    // Reads the macro names of the device's catalogue.
    void LoadMacroNames(const std::string& catalogueName);
    // The catalogue LoadPanelLists reads (the pad's has its own name).
    void SetMacroCatalogue(const char* name) { macroCatalogue_ = name; }

    std::vector<std::string> modeNames_;
    std::vector<bool> modeVisible_;
    std::vector<uint8_t> modeCodes_;
    std::vector<std::string> macroNames_;
    int screenWidth_ = 0, screenHeight_ = 0;

    DeviceCapabilities capabilities_;
    DeviceKind kind_;
    CHidTransport transport_;
    DeviceInfo deviceInfo_;
    std::vector<uint8_t> keyTableImage_;

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
    mutable std::mutex perLedMutex_;
    PerLedState perLed_;

private:
    void NotificationLoop(bool receiver, const StopEvent& stop);
    void LightingLoop(const StopEvent& stop);
    LightingState CurrentLighting() const;
    // The picture told and, when the product takes the stream, the frame sent.
    void RenderFrame();
    // The next timer 1000 when the frame is not streamed.
    std::vector<TimerRequest> NextPreviewFrame(uint64_t renderedVersion);
    // The shown picture is all that wants the frame: the picture's timer
    // steps the effect on the UI thread, the lighting thread sleeps.
    bool StepsOnUiThread() const;
    void StepForPicture();
    // Timer 1000 again when the next step is due (not sooner than a frame time).
    std::vector<TimerRequest> NextSteppedFrame();
    // Someone needs the frame: the picture is shown or the frame is streamed.
    bool FrameWanted() const;
    // The frame is not the one given (compared under the frame's lock, without a copy).
    bool FrameDiffers(const LedFrame& other) const;
    // The frame goes to the product on every render: an effect that streams, or a host's colours.
    bool Streams() const { return hostColours_ || StreamsFrame(); }

    AttachmentMark firstRead_;
    KnownInterface identity_{};
    size_t identityRow_ = 0;
    std::string identityPath_;
    int modelIndex_ = -1;
    int modelLightIndex_ = 0;
    std::string deviceName_, lightCatalogueName_ = "kestro_light", profileName_;
    std::string factoryFile_;  // empty: "<device name>.Json"
    std::string profilePath_, lightCataloguePath_;
    CBasicProfiledata* document_ = nullptr;  // the product class's, set in its constructor
    std::function<void()> ledsShowFrame_;
    const char* macroCatalogue_ = kMacroCatalogue;
    const char* notificationExitLine_ = "MS 设备同步线程设定退出";

    CHidDevice notifyWired_, notifyReceiver_;
    std::atomic<bool> notifyWiredOpen_{false}, notifyReceiverOpen_{false};
    std::mutex notifyWiredLock_, notifyReceiverLock_;
    StoppableThread notifyWiredThread_, notifyReceiverThread_, lightingThread_;

    ui::MessageChannel* owner_ = nullptr;
    NoticeSink noticeSink_;
    std::vector<std::pair<int, ChangeListener>> listeners_;
    std::shared_ptr<const void> lifetime_ = std::make_shared<int>(0);
    int nextListener_ = 0;
    std::function<bool()> pageShown_;
    std::function<void()> frameListener_;
    std::array<uint8_t, 6> powerStatus_{};
    std::shared_ptr<SharedRippleFeed> rippleFeed_ = std::make_shared<SharedRippleFeed>();
    UiInvoker uiInvoker_;
    TimerRequester timerRequester_;
    std::mutex timerRequesterMutex_;
    bool hasPowerPanel_ = false;
    bool powerPollingSuppressed_ = false;
    size_t keyButtonCount_ = 0;
    std::atomic<int> lightControlFlag_{1};
    std::atomic<bool> windowActive_{true};
    std::atomic<bool> synced_{false};
    std::atomic<bool> hostColours_{false};
    uint64_t streamPausedUntilMs_ = 0;  // UI thread only
    LedFrame streamedFrame_;            // UI thread only: the stream's copy, kept between frames

    // Lighting pace: the counters of the thread that steps (under stepMutex_).
    std::shared_ptr<const TickClock> clock_ = SharedTickClock();
    uint64_t lastCountedTick_ = clock_->Ticks();
    uint32_t lightingTicks_ = 0;
    bool frameSettled_ = false;  // a still effect has drawn its frame
    // Held by whichever thread steps the effect or reads the pace: the
    // lighting thread, or the UI thread while it steps for the picture.
    mutable std::mutex stepMutex_;
    LedFrame frameBeforeSteps_;  // kept between steps: a step allocates nothing
    // Picture updates: the lighting thread counts frames, the UI thread
    // renders them; the timer is idle while nothing moves or nothing shows.
    std::atomic<uint64_t> frameVersion_{0};
    std::atomic<bool> renderArmed_{true};  // timer 1000 is running or requested
    std::atomic<bool> previewWanted_{true};
    std::atomic<std::chrono::steady_clock::rep> lastRender_{0};  // when timer 1000 last drew
};

}  // namespace m470
