#include "audio/HeadsetAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/DebugTrace.h"

namespace m470 {
namespace {

enum class Side { Render, Capture };

// One property ApplyAudioDefaults reads, and writes as 0 when the read fails.
struct AudioDefault {
    const char* property;
    Side side;
    AudioParameter parameter;
};

const AudioDefault kAudioDefaults[] = {
    {"VirtualSurroundEffectControl", Side::Render, AudioParameter::Record(4, -1, 0)},
    {"Enable_ENC_LFX", Side::Capture, AudioParameter::None()},
    {"VolumeControl", Side::Capture, AudioParameter::Channel(-1)},
    {"Enable_EQ_GFX", Side::Render, AudioParameter::None()},
    {"EQ_Slider1", Side::Render, AudioParameter::None()},
    {"EQ_Slider2", Side::Render, AudioParameter::None()},
    {"EQ_Slider3", Side::Render, AudioParameter::None()},
    {"EQ_Slider4", Side::Render, AudioParameter::None()},
    {"EQ_Slider5", Side::Render, AudioParameter::None()},
    {"EQ_Slider6", Side::Render, AudioParameter::None()},
    {"EQ_Slider7", Side::Render, AudioParameter::None()},
    {"EQ_Slider8", Side::Render, AudioParameter::None()},
    {"EQ_Slider9", Side::Render, AudioParameter::None()},
    {"EQ_Slider10", Side::Render, AudioParameter::None()},
    {"Enable_RFX_GFX", Side::Render, AudioParameter::None()},
    {"RFX_ENVIRONMENT", Side::Render, AudioParameter::None()},
    {"RFX_ROOMSIZE", Side::Render, AudioParameter::None()},
    {"MuteControl", Side::Capture, AudioParameter::None()},
    {"VolumeScalarControl", Side::Capture, AudioParameter::Channel(-1)},
    {"AAVolumeControl", Side::Capture, AudioParameter::Channel(0)},
    {"AAMuteControl", Side::Capture, AudioParameter::None()},
    {"AAVolumeScalarControl", Side::Capture, AudioParameter::Channel(0)},
    {"Enable_MAGICVOICE", Side::Capture, AudioParameter::None()},
    {"MagicVoice_Selection", Side::Capture, AudioParameter::None()},
};

// Render endpoint types in the order they are preferred.
constexpr int32_t kRenderTypes[] = {1, 12, 7, 4};
constexpr int32_t kCaptureType = 2;
constexpr size_t kFeatureBufferBytes = 2048;
constexpr size_t kFeatureItems = 7;
constexpr size_t kFeatureItemIndexes[] = {0, 4, 6};

const char* const kBandProperties[kEqualiserBands] = {"EQ_Slider1", "EQ_Slider2", "EQ_Slider3", "EQ_Slider4",
                                                      "EQ_Slider5", "EQ_Slider6", "EQ_Slider7", "EQ_Slider8",
                                                      "EQ_Slider9", "EQ_Slider10"};

std::vector<AudioDeviceInfo> Endpoints(const AudioLibrary& library, int32_t flow) {
    int32_t count = 0;
    std::vector<AudioDeviceInfo> list;
    if (library.GetDeviceCount(flow, count) != kOsConfOk) return list;
    for (int32_t i = 0; i < count; ++i) {
        AudioDeviceInfo info{};
        if (library.GetDeviceById(flow, i, info) == kOsConfOk) list.push_back(info);
    }
    return list;
}

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> items;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return items;
        start = comma + 1;
    }
}

}  // namespace

int32_t FractionToPercent(double fraction) {
    return static_cast<int32_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100.0));
}

CHeadsetAudio::CHeadsetAudio(Tell tell) : tell_(std::move(tell)) {}

void CHeadsetAudio::Say(const char* text) const {
    DebugTrace::Write(text);
    if (tell_) tell_(text);
}

bool CHeadsetAudio::LoadAudioLibrary(const std::string& absolutePath) { return library_.Load(absolutePath); }

AudioReadings CHeadsetAudio::InitAudio(const std::string& absolutePath) {
    if (!LoadAudioLibrary(absolutePath)) return {};
    if (library_.ConfLibInit() != kOsConfOk) Say("ConfLibInit called failed!");
    library_.CreateDeviceList();
    int32_t renderCount = 0;
    library_.GetDeviceCount(kOsConfFlowRender, renderCount);
    if (renderCount == 0) return {};
    ChooseEndpoints();
    ApplyAudioDefaults();
    return ReadAudioState();
}

void CHeadsetAudio::ChooseEndpoints() {
    render_ = {};
    capture_ = {};
    const auto renders = Endpoints(library_, kOsConfFlowRender);
    for (int32_t type : kRenderTypes) {
        auto found = std::find_if(renders.begin(), renders.end(),
                                  [&](const AudioDeviceInfo& info) { return info.words[1] == type && info.words[3] == 1; });
        if (found != renders.end()) {
            render_.info = *found;
            break;
        }
    }
    const auto captures = Endpoints(library_, kOsConfFlowCapture);
    auto found = std::find_if(captures.begin(), captures.end(),
                              [](const AudioDeviceInfo& info) { return info.words[1] == kCaptureType; });
    if (found != captures.end()) capture_.info = *found;
    ReadFeatures(capture_);
    ReadFeatures(render_);
}

void CHeadsetAudio::ReadFeatures(AudioEndpoint& endpoint) {
    std::string text;
    library_.Read(endpoint.info, "GetSupportFeature", AudioParameter::None(), text, kFeatureBufferBytes);
    const auto items = SplitAtCommas(text);
    if (items.size() < kFeatureItems) {
        Say("UpdateAPOAvailable failed!");
        return;
    }
    for (size_t word = 0; word < endpoint.features.size(); ++word) {
        const std::string item(items[kFeatureItemIndexes[word]]);
        endpoint.features[word] = static_cast<uint32_t>(std::strtoll(item.c_str(), nullptr, 10));
    }
}

void CHeadsetAudio::ApplyAudioDefaults() {
    if (!Available()) return;
    for (const AudioDefault& entry : kAudioDefaults) {
        const AudioEndpoint& endpoint = entry.side == Side::Render ? render_ : capture_;
        std::string ignored;
        if (library_.Read(endpoint.info, entry.property, entry.parameter, ignored) != kOsConfOk)
            library_.WriteInteger(endpoint.info, entry.property, 0, entry.parameter);
    }
}

int32_t CHeadsetAudio::ReadNumber(const AudioEndpoint& endpoint, const char* property,
                                  const AudioParameter& parameter, double& number) const {
    std::string text;
    const int32_t result = library_.Read(endpoint.info, property, parameter, text);
    if (result != kOsConfOk) return result;
    // A text that holds no number counts as a failed read.
    return ParseAudioNumber(text, number) ? kOsConfOk : kOsConfBadArgument;
}

// Mute reads 1 when muted; the profile keeps 1 when the sound is on.
std::optional<int32_t> CHeadsetAudio::ReadFlagInverted(const char* property) const {
    double value = 0;
    if (ReadNumber(capture_, property, AudioParameter::None(), value) != kOsConfOk) return std::nullopt;
    return value == 0 ? 1 : 0;
}

std::optional<int32_t> CHeadsetAudio::ReadPercent(const char* property, int32_t channel) const {
    double value = 0;
    if (ReadNumber(capture_, property, AudioParameter::Channel(channel), value) != kOsConfOk) return std::nullopt;
    return FractionToPercent(value);
}

AudioReadings CHeadsetAudio::ReadAudioState() {
    AudioReadings readings;
    if (!Available()) return readings;
    double ignored = 0;
    readings.micInSelect = ReadFlagInverted("MuteControl");
    readings.micInValue = ReadPercent("VolumeScalarControl", -1);
    for (const char* range : {"GetMaxVol", "GetMinVol", "GetVolStep"})
        ReadNumber(capture_, range, AudioParameter::None(), ignored);
    if (ReadNumber(capture_, "GetAAMaxVol", AudioParameter::None(), ignored) == kOsConfOk) {
        for (const char* range : {"GetAAMinVol", "GetAAVolStep"}) ReadNumber(capture_, range, AudioParameter::None(), ignored);
        readings.micMoniterSelect = ReadFlagInverted("AAMuteControl");
        readings.micMoniterValue = ReadPercent("AAVolumeScalarControl", 0);
    }
    double value = 0;
    if (ReadNumber(capture_, "Enable_MAGICVOICE", AudioParameter::None(), value) == kOsConfOk &&
        (capture_.features[0] & kFeatureVoiceChanger) != 0)
        readings.magicEnable = value != 0 ? 1 : 0;
    if (ReadNumber(capture_, "MagicVoice_Selection", AudioParameter::None(), value) == kOsConfOk && value >= 0 &&
        value <= 3 && value == std::floor(value))
        readings.magicType = static_cast<int32_t>(value) + 1;
    return readings;
}

bool CHeadsetAudio::SetMicVolume(int percent) {
    if (!Available()) return false;
    const float fraction = static_cast<float>(std::clamp(percent, 0, 100)) / 100.0f;
    if (library_.WriteFloat(capture_.info, "VolumeScalarControl", fraction, AudioParameter::Channel(-1)) != kOsConfOk)
        return false;
    double ignored = 0;
    ReadNumber(capture_, "VolumeControl", AudioParameter::Channel(-1), ignored);
    return true;
}

bool CHeadsetAudio::SetMonitorVolume(int percent) {
    if (!Available()) return false;
    const float fraction = static_cast<float>(std::clamp(percent, 0, 100)) / 100.0f;
    if (library_.WriteFloat(capture_.info, "AAVolumeScalarControl", fraction, AudioParameter::Channel(0)) != kOsConfOk)
        return false;
    double ignored = 0;
    ReadNumber(capture_, "AAVolumeControl", AudioParameter::Channel(1), ignored);
    return true;
}

bool CHeadsetAudio::SetMicMute(int muted) {
    return Available() &&
           library_.WriteInteger(capture_.info, "MuteControl", muted ? 1 : 0, AudioParameter::None()) == kOsConfOk;
}

bool CHeadsetAudio::SetMonitorMute(int muted) {
    return Available() &&
           library_.WriteInteger(capture_.info, "AAMuteControl", muted ? 1 : 0, AudioParameter::None()) == kOsConfOk;
}

bool CHeadsetAudio::SetVoiceChanger(bool on) {
    if (!Available()) return false;
    bool taken = library_.WriteInteger(capture_.info, "Enable_MAGICVOICE", on ? 1 : 0, AudioParameter::None()) == kOsConfOk;
    if (on) taken = library_.WriteInteger(capture_.info, "Enable_MICECHO", 0, AudioParameter::None()) == kOsConfOk && taken;
    return taken;
}

bool CHeadsetAudio::SetVoiceEffect(int effect) {
    if (!Available() || effect < 1 || effect > 4) return false;
    return library_.WriteInteger(capture_.info, "MagicVoice_Selection", effect - 1, AudioParameter::None()) == kOsConfOk;
}

bool CHeadsetAudio::ApplyEqualiser(std::span<const int> levels) {
    if (!Available()) return false;
    bool taken = library_.WriteInteger(render_.info, "Enable_EQ_GFX", 1, AudioParameter::None()) == kOsConfOk;
    for (size_t band = 0; band < levels.size() && band < kEqualiserBands; ++band)
        taken = library_.WriteInteger(render_.info, kBandProperties[band], levels[band], AudioParameter::None()) ==
                    kOsConfOk &&
                taken;
    return taken;
}

bool CHeadsetAudio::MoveBand(int band, int level) {
    if (!Available() || band < 0 || band >= kEqualiserBands) return false;
    return library_.WriteInteger(render_.info, kBandProperties[band], level, AudioParameter::None()) == kOsConfOk;
}

}  // namespace m470
