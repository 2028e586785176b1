#include "devices/VantrelUSBDevice.h"

#include <chrono>
#include <thread>

#include "device_link/CommandSequences.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

constexpr auto kLightingStopWait = 1000ms;
constexpr auto kNotifyStopWait = 500ms;
constexpr int kLinkRetryWrap = 20;
constexpr size_t kSkippedStreamLed = 170;
constexpr uint64_t kStreamPauseMs = 200;
constexpr int kPreviewFrameMs = 33;                 // the picture moves at most 30 times a second
constexpr uint64_t kMaxCatchUpTicks = TickClock::kTicksPerSecond;  // after a stall, at most a second of steps

// The mouse's lighting modes: the step each runs and its threshold row.
enum class Threshold { Speed, Trail, Fixed2, EveryLoop };
struct LightingModeRow {
    int mode;
    void (CVantrelUSBDevice::*step)();
    Threshold threshold;
};
constexpr std::array<LightingModeRow, 11> kModes{{
    {0, &CVantrelUSBDevice::StepBreathing, Threshold::Speed},
    {1, &CVantrelUSBDevice::StepSpectrum, Threshold::Speed},
    {2, &CVantrelUSBDevice::StepStatic, Threshold::Speed},
    {3, &CVantrelUSBDevice::StepOff, Threshold::Speed},
    {4, &CVantrelUSBDevice::StepBlink, Threshold::Speed},
    {5, nullptr, Threshold::Trail},
    {6, nullptr, Threshold::Speed},
    {7, &CVantrelUSBDevice::StepBreathingPalette, Threshold::Speed},
    {8, &CVantrelUSBDevice::StepBlinkPalette, Threshold::Speed},
    {9, nullptr, Threshold::Speed},
    {11, nullptr, Threshold::Fixed2},
}};

// nullptr for the custom effect (mode 10 and any mode not listed).
const LightingModeRow* ModeRow(int mode) {
    for (const LightingModeRow& row : kModes)
        if (row.mode == mode) return &row;
    return nullptr;
}

// Counted ticks between two steps; the custom effect steps on every tick.
uint32_t DueTicks(const LightingModeRow* row, const LightingState& light) {
    if (row == nullptr) return 0;
    switch (row->threshold) {
        case Threshold::Speed: return kStepThreshold[light.speed];
        case Threshold::Trail: return kTrailThreshold[light.speed];
        case Threshold::Fixed2: return 2;
        case Threshold::EveryLoop: break;
    }
    return 0;
}

}  // namespace

CVantrelUSBDevice::CVantrelUSBDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend)
    : kind_(kind), transport_(backend), notifyWired_(backend), notifyReceiver_(backend) {
    transport_.SetOpenedListener([this] { lightingThread_.Wake(); });
}

CVantrelUSBDevice::~CVantrelUSBDevice() { StopThreads(); }

void CVantrelUSBDevice::StopThreads() {
    StopLightingThread();
    CloseNotify(false);
    CloseNotify(true);
}

// ---- listeners ----

int CVantrelUSBDevice::AddChangeListener(ChangeListener listener) {
    listeners_.emplace_back(++nextListener_, std::move(listener));
    return nextListener_;
}

void CVantrelUSBDevice::RemoveChangeListener(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void CVantrelUSBDevice::Tell(DeviceChange change) {
    // A listener may add or remove listeners: tell a copy.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners)
        if (listener) listener(change);
}

void CVantrelUSBDevice::LoadPanelLists() {
    LoadMacroNames(macroCatalogue_);
    LoadModeList();
}

void CVantrelUSBDevice::ShowSettings() {
    LoadPanelLists();
    Tell(DeviceChange::Settings);
}

// ---- frame and lighting state ----

void CVantrelUSBDevice::SetLedCount(size_t count) {
    count = std::min(count, kMaxLeds + 1);
    {
        std::lock_guard lock(frameMutex_);
        frame_.assign(count, LedEntry{});
    }
    std::lock_guard lock(perLedMutex_);
    perLed_.leds.assign(count, PerLedState::Led{});
}

size_t CVantrelUSBDevice::LedCount() const {
    std::lock_guard lock(frameMutex_);
    return frame_.size();
}

void CVantrelUSBDevice::SetLedColour(int index, uint32_t entry) {
    {
        std::lock_guard lock(frameMutex_);
        if (index < 0 || static_cast<size_t>(index) >= frame_.size()) return;
        LedEntry& led = frame_[static_cast<size_t>(index)];
        if (led == LedEntry::FromPacked(entry)) return;
        led = LedEntry::FromPacked(entry);
    }
    NoteFrameChanged();
}

uint32_t CVantrelUSBDevice::GetLedColour(int index) const {
    std::lock_guard lock(frameMutex_);
    if (index < 0 || static_cast<size_t>(index) >= frame_.size()) return 0;
    return frame_[static_cast<size_t>(index)].Packed();
}

LedFrame CVantrelUSBDevice::FrameCopy() const {
    LedFrame frame;
    CopyFrame(frame);
    return frame;  // returning CopyFrame's reference would copy the frame a second time
}

bool CVantrelUSBDevice::FrameDiffers(const LedFrame& other) const {
    std::lock_guard lock(frameMutex_);
    return frame_ != other;
}

const LedFrame& CVantrelUSBDevice::CopyFrame(LedFrame& into) const {
    std::lock_guard lock(frameMutex_);
    into.assign(frame_.begin(), frame_.end());  // within its capacity: no allocation
    return into;
}

LightInfo CVantrelUSBDevice::GetLightInfo() const {
    std::lock_guard lock(lightMutex_);
    return lightInfo_;
}

void CVantrelUSBDevice::StoreLightInfo(const LightInfo& info) {
    SetLightInfo(info.Words(), info.HalfWord());
    Profile().WriteLightInfo(info);
}

int CVantrelUSBDevice::CommitLightInfo(const LightInfo& info) {
    StoreLightInfo(info);
    SaveProfile();
    ApplyProfile();
    return WriteSettingsRecord();
}

int CVantrelUSBDevice::WriteSettingsRecord() { return WriteToDevice(0, 0, 1, screenWidth_, screenHeight_); }

void CVantrelUSBDevice::StoreAudioLightInfo(const AudioLightInfo& info) {
    SetAudioLightInfo(info);
    Profile().WriteAudioLightInfo(info);
}

LightingState CVantrelUSBDevice::CurrentLighting() const { return LightingState::From(GetLightInfo()); }

void CVantrelUSBDevice::SetLightInfo(const std::array<uint32_t, 3>& words, uint16_t half) {
    {
        std::lock_guard lock(lightMutex_);
        lightInfo_ = LightInfo::FromWords(words, half);
    }
    lightingThread_.Wake();  // the next step may be due sooner
    NoteFrameChanged();      // and the picture's timer may have to run (the stream of mode 11)
}

void CVantrelUSBDevice::SetAudioLightInfo(const AudioLightInfo& info) {
    std::lock_guard lock(lightMutex_);
    audioLightInfo_ = info;
}

AudioLightInfo CVantrelUSBDevice::GetAudioLightInfo() const {
    std::lock_guard lock(lightMutex_);
    return audioLightInfo_;
}

void CVantrelUSBDevice::StepBreathing() {
    std::lock_guard lock(frameMutex_);
    m470::StepBreathing(effect_, CurrentLighting(), frame_);
}

void CVantrelUSBDevice::StepBreathingPalette() {
    std::lock_guard lock(frameMutex_);
    m470::StepBreathingPalette(effect_, CurrentLighting(), frame_);
}

void CVantrelUSBDevice::StepStatic() {
    std::lock_guard lock(frameMutex_);
    m470::StepStatic(effect_, CurrentLighting(), frame_);
}

void CVantrelUSBDevice::StepSpectrum() {
    std::lock_guard lock(frameMutex_);
    m470::StepSpectrum(effect_, CurrentLighting(), frame_);
}

void CVantrelUSBDevice::StepBlink() {
    std::lock_guard lock(frameMutex_);
    m470::StepBlink(effect_, CurrentLighting(), frame_, TickCount());
}

void CVantrelUSBDevice::StepBlinkPalette() {
    std::lock_guard lock(frameMutex_);
    m470::StepBlinkPalette(effect_, CurrentLighting(), frame_, TickCount());
}

void CVantrelUSBDevice::StepOff() {
    std::lock_guard lock(frameMutex_);
    m470::StepOff(effect_, CurrentLighting(), frame_);
}

// The trail belongs to the lighting thread's state: taken under the frame lock.
void CVantrelUSBDevice::DecayTrail(size_t position, int mode) {
    std::lock_guard lock(frameMutex_);
    m470::DecayTrail(trail_, position, mode);
}
void CVantrelUSBDevice::SeedTrail() {
    std::lock_guard lock(frameMutex_);
    m470::SeedTrail(trail_);
}
void CVantrelUSBDevice::RotateTrail(bool upwards) {
    std::lock_guard lock(frameMutex_);
    m470::RotateTrail(trail_, upwards);
}
void CVantrelUSBDevice::ResetTrail() {
    std::lock_guard lock(frameMutex_);
    m470::ResetTrail(trail_);
}

void CVantrelUSBDevice::FeedAudioSpectrum(const std::array<int32_t, kAudioBands>& bands, int) {
    const LightingState light = CurrentLighting();
    const AudioLightInfo audioInfo = GetAudioLightInfo();
    const std::shared_ptr<SharedRippleFeed> shared = rippleFeed_;
    std::lock_guard feedLock(shared->lock);
    std::lock_guard lock(frameMutex_);
    m470::FeedAudioSpectrum(audio_, bands, light, audioInfo, shared->feed);
}

void CVantrelUSBDevice::RenderLighting() {
    RenderFrame();
    if (ledsShowFrame_) ledsShowFrame_();  // a frame set from the UI thread reaches the LEDs here
}

void CVantrelUSBDevice::RenderFrame() {
    // Another program controls the lighting: send nothing, leave the picture.
    if (lightControlFlag_ == 0) return;
    if (windowActive_ && frameListener_) frameListener_();
    if (!Streams() || !transport_.Opened()) return;
    // After a failed send the stream pauses without holding the UI thread.
    if (TickCount() < streamPausedUntilMs_) return;
    if (StreamFrame(CopyFrame(streamedFrame_)) != kResultSuccess) streamPausedUntilMs_ = TickCount() + kStreamPauseMs;
}

bool CVantrelUSBDevice::StreamsAudioFrame() const { return CurrentLighting().mode == 11; }

int CVantrelUSBDevice::StreamFrameBytes(const LedFrame& frame) {
    // The hardware cannot run the audio effect: the frame is streamed.
    const size_t leds = transport_.ReceiverMode() ? frame.size() : deviceInfo_.KeySlotCount();
    std::vector<uint8_t> bytes;
    bytes.reserve(leds * 3);
    for (size_t i = 0; i < leds; ++i) {
        if (i == kSkippedStreamLed) continue;
        const Rgb shown = i < frame.size() ? frame[i].Shown() : Rgb{0, 0, 0};
        bytes.insert(bytes.end(), {shown.red, shown.green, shown.blue});
    }
    return transport_.StreamLighting(bytes.data(), bytes.size());
}

// ---- profile ----

std::string CVantrelUSBDevice::DataFolder() const { return GetDeviceFolder(deviceName_); }
std::string CVantrelUSBDevice::DefaultProfilePath() const {
    return factoryFile_.empty() ? GetDefaultProfilePath(deviceName_) : GetDefaultDataFolder() + factoryFile_;
}

void CVantrelUSBDevice::ApplyProduct(const ProductRow& product) {
    deviceName_ = product.name;
    factoryFile_ = product.factoryFile;
    lightCatalogueName_ = product.lightCatalogue;
    SetModelLightIndex(product.lightRow);
    SetKeyButtonCount(static_cast<size_t>(product.keys));
    SetLedCount(static_cast<size_t>(product.leds));
}

void CVantrelUSBDevice::SetProfilePaths() {
    const std::string folder = DataFolder();
    profilePath_ = folder + profileName_ + ".Json";
    lightCataloguePath_ = folder + lightCatalogueName_ + ".config";
    Profile().SetProfilePath(profilePath_);
    Profile().SetLightCataloguePath(lightCataloguePath_);
    Profile().SetDefaultPath(DefaultProfilePath());
}

void CVantrelUSBDevice::LoadFactoryProfile() {
    Profile().SetDefaultPath(DefaultProfilePath());
    Profile().Section() = Element(Member(LoadJson(DefaultProfilePath()), "Device"), 0);
}

void CVantrelUSBDevice::LoadProfile() {
    SetProfilePaths();
    Profile().SetDeviceIndex(0);
    Profile().LoadDeviceSection(profilePath_);
    ApplyProfile();
}

bool CVantrelUSBDevice::SaveProfile() { return Profile().Save(); }

int CVantrelUSBDevice::ApplyLightingProfile() {
    CBasicProfiledata& profile = Profile();
    const LightInfo light = profile.ReadLightInfo();
    const AudioLightInfo audio = profile.ReadAudioLightInfo();
    {
        std::lock_guard lock(lightMutex_);
        lightInfo_ = light;
        audioLightInfo_ = audio;
    }
    lightingThread_.Wake();
    NoteFrameChanged();
    {
        std::lock_guard lock(perLedMutex_);
        perLed_.records = profile.ReadLightList();
        LedFrame scratch(perLed_.records.size());
        RunPerLedRules(perLed_, scratch, TickCount(), kPerLedMouseReset, true);
    }
    profile.LoadLightCatalogue(profile.GetLightCataloguePath());
    const auto effects = profile.ReadCustomEffects();
    std::lock_guard lock(customMutex_);
    customSteps_ = effects.empty() ? std::vector<LedEffectStep>() : effects.front();
    custom_ = CustomState{};
    custom_.stepStartMs = TickCount();  // the first step lasts its own time
    return 1;
}


// ---- identity, UI, flags ----

void CVantrelUSBDevice::SetIdentity(const KnownInterface& row, size_t rowIndex, const std::string& path) {
    identity_ = row;
    identityRow_ = rowIndex;
    identityPath_ = path;
    kind_ = row.kind;
}

void CVantrelUSBDevice::SendToOwner(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (owner_ != nullptr) owner_->Send(message, wParam, lParam);
}

int CVantrelUSBDevice::WriteRecordMacrosAndKeys(KeyAssignmentModel& keys, const std::function<bool()>& keyTableReady) {
    if (WriteSettingsRecord() != kResultSuccess) return -1;
    // Which macros the keys use is known only from the slots of this
    // device's key table: without it none would be sent for keys that use them.
    if (!keyTableReady()) return -1;
    const std::vector<int> macros = keys.CollectUsedMacros();
    if (!macros.empty()) {
        const int written = keys.WriteMacros(macros);
        if (written != 0) return written;  // -1, or the events that did not fit
    }
    return keys.WriteKeyAssignmentsWithMacros(0) == kResultSuccess ? 0 : -1;
}

int CVantrelUSBDevice::DownloadMacros(const std::vector<int>& macros) {
    const std::vector<MacroEntry> catalogue = LoadMacroCatalogue(DataFolder() + kMacroCatalogue);
    if (macros.empty() || catalogue.empty()) return 0;
    if (transport_.Opened()) {
        if (transport_.ReceiverMode() && !transport_.QueryLink()) return -1;  // nothing was sent: not a success
        DeviceInfo info;
        if (transport_.ReadDeviceInfo(info.bytes.data()) == kResultSuccess) deviceInfo_ = info;
    }
    std::vector<ImageEntry> entries;
    for (int number : macros)
        entries.push_back(number >= 0 && static_cast<size_t>(number) < catalogue.size()
                              ? LoadMacroEvents(DataFolder(), catalogue[static_cast<size_t>(number)].guid)
                              : ImageEntry());
    uint32_t surplus = 0;
    const int result = DownloadEventImage(transport_, EventImageKind::Macros, entries, deviceInfo_.MacroCapacity(), &surplus);
    if (surplus > 0) return static_cast<int>(surplus);
    return result == kResultSuccess ? 0 : -1;
}

void CVantrelUSBDevice::ShowProfile(const std::string& profileName) {
    SetProfileName(profileName);
    LoadAssignments();
    ShowSettings();  // the write, when there is one, follows once with everything it needs
}

void CVantrelUSBDevice::RunOnUiThread(std::function<void()> work) {
    if (uiInvoker_) uiInvoker_(std::move(work));
    else work();
}

void CVantrelUSBDevice::RequestSelectorTimer(int id, int delayMs) {
    std::lock_guard lock(timerRequesterMutex_);
    if (timerRequester_) timerRequester_(id, delayMs);
}

uint8_t CVantrelUSBDevice::ModeCode(uint8_t modeIndex) const {
    return modeIndex < modeCodes_.size() ? modeCodes_[modeIndex] : modeIndex;
}

int CVantrelUSBDevice::ModeIndexOfCode(uint8_t code) const {
    for (size_t i = 0; i < modeCodes_.size(); ++i)
        if (modeCodes_[i] == code) return static_cast<int>(i);
    return -1;
}

std::optional<std::vector<LightModeRow>> ReadLightModes(int lightRow) {
    const Json::Value document = LoadJson(GetDefaultDataFolder() + "default_light.json");
    const Json::Value& modes =
        Element(Member(document, "DefaultLightName"), static_cast<Json::ArrayIndex>(std::max(lightRow, 0)));
    if (!modes.isArray()) return std::nullopt;
    std::vector<LightModeRow> rows;
    for (const Json::Value& mode : modes)
        rows.push_back({JsonText(Member(mode, "LightName")), JsonBool(Member(mode, "visible")), JsonByte(Member(mode, "value"))});
    return rows;
}

void CVantrelUSBDevice::LoadModeList() {
    const auto modes = ReadLightModes(modelLightIndex_);
    if (!modes) return;  // the lists stay as they were
    modeNames_.clear();
    modeVisible_.clear();
    modeCodes_.clear();
    for (const LightModeRow& mode : *modes) {
        modeNames_.push_back(mode.name);
        modeVisible_.push_back(mode.visible);
        modeCodes_.push_back(mode.code);
    }
}

void CVantrelUSBDevice::LoadMacroNames(const std::string& catalogueName) {
    macroNames_ = m470::MacroNames(LoadMacroCatalogue(DataFolder() + catalogueName));
}

void CVantrelUSBDevice::SetLightControlFlag(int flag) {
    lightControlFlag_ = flag;
    if (flag != 0) ShowPreview();
    if (flag != 0 && kind_ == DeviceKind::Keyboard) transport_.ClaimLighting();
}

// ---- power and link ----

void CVantrelUSBDevice::QueryPower() {
    if (!transport_.Opened() || powerPollingSuppressed_ || !transport_.QueryLink()) return;
    std::array<uint8_t, 6> status{};
    if (transport_.ReadShort(status.data(), status.size(), 0) != kResultSuccess) return;
    status[3] = transport_.ReceiverMode() ? 1 : 0;
    powerStatus_ = status;
    Tell(DeviceChange::Power);
    SendToOwner(ui::kMsgBattery, status[4], 0);
}

bool CVantrelUSBDevice::CheckLink() {
    return transport_.Opened() && transport_.ReceiverMode() && transport_.QueryLink();
}

// ---- selector timers ----

std::vector<TimerRequest> CVantrelUSBDevice::OnRenderTimer() {
    const bool stepsHere = StepsOnUiThread() && PreviewShown();
    if (stepsHere) StepForPicture();
    const uint64_t version = frameVersion_;
    lastRender_ = std::chrono::steady_clock::now().time_since_epoch().count();
    RenderLighting();
    if (!transport_.Opened()) {
        renderArmed_ = false;
        return {};
    }
    const int streamMs = transport_.ReceiverMode() ? 50 : 10;
    if (Streams() && lightControlFlag_ != 0) return {{kTimerRender, streamMs}};
    if (stepsHere && StepsOnUiThread()) return NextSteppedFrame();
    return NextPreviewFrame(version);
}

// Only the preview wants the frame (nothing streamed, no LEDs fed by the
// host): stepping where the frame is drawn saves the lighting thread's wakeup
// and its hand-over to the UI thread on every frame.
bool CVantrelUSBDevice::StepsOnUiThread() const {
    return uiInvoker_ && previewWanted_ && !Streams() && ledsShowFrame_ == nullptr;
}

void CVantrelUSBDevice::StepForPicture() {
    std::lock_guard lock(stepMutex_);
    if (!transport_.Opened() || synced_) {
        lastCountedTick_ = clock_->Ticks();  // no steps are owed for the time idled
        return;
    }
    AdvanceLighting();
}

std::vector<TimerRequest> CVantrelUSBDevice::NextSteppedFrame() {
    std::lock_guard lock(stepMutex_);
    const std::optional<uint64_t> next = NextLightingTick();
    if (!next) {
        // Under the lock: a wake of the lighting thread after this arms the timer again.
        renderArmed_ = false;
        return {};
    }
    const auto untilStep = std::chrono::ceil<std::chrono::milliseconds>(clock_->TimeOfTick(*next) -
                                                                         std::chrono::steady_clock::now());
    const int frameMs = std::max(kPreviewFrameMs, transport_.ReceiverMode() ? 50 : 10);
    return {{kTimerRender, std::max(static_cast<int>(untilStep.count()), frameMs)}};
}

// The picture alone: a frame is rendered when the lighting thread made a new
// one, at most 30 a second, and only while it can be seen; in between the
// timer does not run. Without a UI queue the lighting thread could not start
// it again, so it keeps running.
std::vector<TimerRequest> CVantrelUSBDevice::NextPreviewFrame(uint64_t rendered) {
    const std::vector<TimerRequest> next{{kTimerRender, std::max(kPreviewFrameMs, transport_.ReceiverMode() ? 50 : 10)}};
    if (!uiInvoker_) return next;
    const bool shown = PreviewShown();
    previewWanted_ = shown;
    renderArmed_ = false;
    // A frame that came while this one was drawn gets the next timer.
    if (shown && frameVersion_ != rendered && !renderArmed_.exchange(true)) return next;
    return {};
}

bool CVantrelUSBDevice::PreviewShown() const { return windowActive_ && pageShown_ && pageShown_(); }

void CVantrelUSBDevice::ShowHostColours(size_t first, const std::vector<Rgb>& colours) {
    hostColours_ = true;
    {
        std::lock_guard lock(frameMutex_);
        for (size_t i = 0; i < colours.size() && first + i < frame_.size(); ++i)
            frame_[first + i] = {colours[i].red, colours[i].green, colours[i].blue, 0xFF};
    }
    ++frameVersion_;
    // The render timer streams the frame; it is started when it was idle.
    if (!renderArmed_.exchange(true)) RequestSelectorTimer(kTimerRender, 0);
}

void CVantrelUSBDevice::EndHostColours() {
    if (!hostColours_.exchange(false)) return;
    lightingThread_.Wake();  // the effect steps draw the frame again
}

void CVantrelUSBDevice::NoteFrameChanged() {
    ++frameVersion_;
    if (!uiInvoker_ || !previewWanted_ || renderArmed_.exchange(true)) return;
    // Shown at once unless the last frame was shown less than a frame time ago.
    const auto since = std::chrono::steady_clock::now() -
                       std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastRender_.load()));
    const auto left = std::chrono::milliseconds(kPreviewFrameMs) - std::chrono::ceil<std::chrono::milliseconds>(since);
    RequestSelectorTimer(kTimerRender, static_cast<int>(std::max<int64_t>(left.count(), 0)));
}

void CVantrelUSBDevice::ShowPreview() {
    previewWanted_ = true;
    lightingThread_.Wake();
    if (transport_.Opened() && !renderArmed_.exchange(true)) RequestSelectorTimer(kTimerRender, 1);
}

void CVantrelUSBDevice::SetWindowActive(bool active) {
    windowActive_ = active;
    if (active) ShowPreview();
    else previewWanted_ = false;
}

std::vector<TimerRequest> CVantrelUSBDevice::OnFirstReadTimer(SelectorState& entry) {
    const bool receiver = transport_.ReceiverMode();
    if (receiver && transport_.Opened()) {
        if (!CheckLink()) {
            entry.linkRetries = (entry.linkRetries + 1) % kLinkRetryWrap;
            if (entry.shown) {
                entry.shown = false;
                SendToOwner(ui::kMsgLink, modelIndex_, 0);
            }
            return {{kTimerFirstRead, 3000}};
        }
        entry.shown = true;
        SendToOwner(ui::kMsgLink, modelIndex_, 1);
    }
    ReadFromDevice();
    firstRead_.Set(transport_);
    entry.linkRetries = 0;
    std::vector<TimerRequest> next{{kTimerRender, 5}};
    renderArmed_ = true;
    if (hasPowerPanel_ && transport_.Opened()) next.push_back({kTimerPower, 50});
    if (receiver) next.push_back({kTimerLinkWatch, 2000});
    return next;
}

std::vector<TimerRequest> CVantrelUSBDevice::OnReloadTimer() {
    ReloadSettings();
    return {};
}

std::vector<TimerRequest> CVantrelUSBDevice::OnPowerTimer() {
    QueryPower();
    // Unplugged, nothing answers: the first read after the next plug arms it again.
    if (!hasPowerPanel_ || !transport_.Opened()) return {};
    return {{kTimerPower, 5000}};
}

std::vector<TimerRequest> CVantrelUSBDevice::OnLinkWatchTimer(SelectorState& entry) {
    if (!transport_.ReceiverMode()) {
        if (transport_.Opened()) DebugTrace::Write("2.4gcesvdfherhue  12312423");
        return {};
    }
    const bool linked = CheckLink();
    if (!linked && entry.shown) {
        entry.shown = false;
        SendToOwner(ui::kMsgLink, modelIndex_, 0);
        DebugTrace::Write("2.4gcesvdfherhue");
    } else if (linked && !entry.shown) {
        entry.shown = true;
        SendToOwner(ui::kMsgLink, modelIndex_, 1);
        if (hasPowerPanel_) QueryPower();
        DebugTrace::Write("2.4gcesvdfherhue  12312423 123342341");
    }
    return {{kTimerLinkWatch, 3000}};
}

// ---- notification interfaces ----

bool CVantrelUSBDevice::OpenNotify(const std::string& path, bool receiver) {
    CloseNotify(receiver);
    CHidDevice& interface = NotifyInterface(receiver);
    bool opened;
    {
        std::lock_guard lock(receiver ? notifyReceiverLock_ : notifyWiredLock_);
        interface.Close();
        opened = interface.Open(path, true, true, true, false);
        (receiver ? notifyReceiverOpen_ : notifyWiredOpen_) = opened;
    }
    (receiver ? notifyReceiverThread_ : notifyWiredThread_).Start(
        [this, receiver](const StopEvent& stop) { NotificationLoop(receiver, stop); }, "m470-notify");
    return opened;
}

void CVantrelUSBDevice::CloseNotify(bool receiver) {
    CHidDevice& interface = NotifyInterface(receiver);
    StoppableThread& thread = receiver ? notifyReceiverThread_ : notifyWiredThread_;
    if (thread.Running()) {
        // The thread sits in a read without time limit: wake it, then wait.
        interface.AbortPendingRead();
        const auto result = thread.Stop(kNotifyStopWait, [&interface] { interface.AbortPendingRead(); });
        DebugTrace::Write(ThreadStopLine(result));
    }
    std::lock_guard lock(receiver ? notifyReceiverLock_ : notifyWiredLock_);
    (receiver ? notifyReceiverOpen_ : notifyWiredOpen_) = false;
    interface.Close();
}

bool CVantrelUSBDevice::NotifyOpen(bool receiver) const { return receiver ? notifyReceiverOpen_ : notifyWiredOpen_; }

// A closed interface or a failed read (the node went away) leaves the
// thread waiting for its stop event; CloseNotify sets it. A read without
// time limit is woken by the interface's abort event.
void CVantrelUSBDevice::NotificationLoop(bool receiver, const StopEvent& stop) {
    CHidDevice& interface = NotifyInterface(receiver);
    std::vector<uint8_t> report;
    while (!stop.IsSet()) {
        if (!NotifyOpen(receiver)) {
            stop.WaitForWake();
            continue;
        }
        report.assign(interface.InputReportByteLength(), 0);
        size_t got = 0;
        if (!interface.Read(report.data(), report.size(), &got, kInfinite)) {
            stop.WaitForWake();
            continue;
        }
        if (got == 0 || !interface.UnpackInputReport(report.data(), got)) continue;
        const auto& items = interface.InputItems();
        if (items.empty()) continue;
        const uint16_t code =
            items[0].isButton ? (items[0].usages.empty() ? 0 : items[0].usages[0]) : static_cast<uint16_t>(items[0].rawValue);
        OnNotification(code, receiver);
    }
    DebugTrace::Write(notificationExitLine_);
}

// ---- lighting thread ----

uint64_t CVantrelUSBDevice::TickCount() const { return clock_->Milliseconds(); }

void CVantrelUSBDevice::SetTickClock(std::shared_ptr<const TickClock> clock) {
    clock_ = clock ? std::move(clock) : SharedTickClock();
    lastCountedTick_ = clock_->Ticks();
    lightingTicks_ = 0;
}

void CVantrelUSBDevice::StartLightingThread() {
    lightingThread_.Start([this](const StopEvent& stop) { LightingLoop(stop); }, "m470-lighting");
}

void CVantrelUSBDevice::StopLightingThread() {
    if (!lightingThread_.Running()) return;
    DebugTrace::Write(ThreadStopLine(lightingThread_.Stop(kLightingStopWait)));
}

void CVantrelUSBDevice::SetSynced(bool synced) {
    synced_ = synced;
    if (!synced) lightingThread_.Wake();
}

// The lighting thread sleeps until its next step is due; a settings change,
// the end of synchronisation, the transport opening or the picture coming
// back wakes it early, the stop event ends it. It does not step while nobody can see the frame and
// the frame is not streamed, nor again while a still effect stays still.
// While the shown picture alone wants the frame, the picture's timer steps.
void CVantrelUSBDevice::LightingLoop(const StopEvent& stop) {
    {
        std::lock_guard lock(stepMutex_);
        lastCountedTick_ = clock_->Ticks();
        lightingTicks_ = 0;
        frameSettled_ = false;
    }
    for (;;) {
        std::optional<uint64_t> next;
        {
            std::lock_guard lock(stepMutex_);
            if (!StepsOnUiThread()) next = NextLightingTick();
        }
        if (next ? stop.WaitUntil(clock_->TimeOfTick(*next)) : stop.WaitForWake()) break;
        std::lock_guard lock(stepMutex_);
        frameSettled_ = false;
        if (!transport_.Opened() || synced_ || !FrameWanted()) {
            lastCountedTick_ = clock_->Ticks();  // no steps are owed for the time idled
            continue;
        }
        if (StepsOnUiThread()) {
            // The picture's timer steps from now on; it may have stopped on a still frame.
            if (!renderArmed_.exchange(true)) RequestSelectorTimer(kTimerRender, 0);
            continue;
        }
        AdvanceLighting();
    }
    DebugTrace::Write("MS灯光线程设定退出");
}

bool CVantrelUSBDevice::FrameWanted() const {
    return previewWanted_ || Streams() || ledsShowFrame_ != nullptr;
}

void CVantrelUSBDevice::AdvanceLighting() {
    if (hostColours_) return;  // the host's colours stay until it lets go
    const uint64_t now = clock_->Ticks();
    if (now - lastCountedTick_ > kMaxCatchUpTicks) lastCountedTick_ = now - kMaxCatchUpTicks;
    CopyFrame(frameBeforeSteps_);
    bool stepped = false;
    for (; lastCountedTick_ < now; ++lastCountedTick_) {
        LightingTick(++lightingTicks_);
        stepped = stepped || lightingTicks_ == 0;  // a step restarts the count
    }
    const bool changed = FrameDiffers(frameBeforeSteps_);
    if (ledsShowFrame_ && (changed || stepped)) ledsShowFrame_();
    if (changed) NoteFrameChanged();
    else if (stepped) frameSettled_ = StillEffect(CurrentLighting().mode);
}

std::optional<uint64_t> CVantrelUSBDevice::NextLightingTick() const {
    if (!transport_.Opened() || synced_ || hostColours_ || !FrameWanted() || frameSettled_) return std::nullopt;
    return lastCountedTick_ + TicksToNextStep();
}

uint32_t CVantrelUSBDevice::ModeTableDueTicks() const {
    const LightingState light = CurrentLighting();
    return DueTicks(ModeRow(light.mode), light);
}

uint32_t CVantrelUSBDevice::TicksToNextStep() const {
    const uint32_t due = StepDueTicks();
    return due > lightingTicks_ ? due - lightingTicks_ : 1;
}

void CVantrelUSBDevice::StepModeTable(uint32_t& ticks) {
    const LightingState light = CurrentLighting();
    const LightingModeRow* row = ModeRow(light.mode);
    if (ticks < DueTicks(row, light)) return;
    ticks = 0;
    if (row != nullptr && row->step != nullptr) {
        (this->*(row->step))();
        return;
    }
    std::lock_guard lock(frameMutex_);
    switch (light.mode) {
        case 5: StepMouseTrail(effect_, trail_, light, frame_); break;
        case 6: StepReaction(reaction_, light, frame_); break;
        case 9: StepMouseWave(effect_, light, frame_); break;
        case 11: {
            const AudioLightInfo audioInfo = GetAudioLightInfo();
            AudioScene scene{effect_, audio_, trail_, light, audioInfo, frame_};
            StepAudio(scene);
            break;
        }
        default: {
            std::lock_guard stepsLock(customMutex_);
            StepCustom(custom_, customSteps_, light, frame_, TickCount());
            break;
        }
    }
}

}  // namespace m470
