#pragma once
// The headset's audio settings through its library: the two endpoints it
// uses, the defaults written where a read fails, the state read back, and
// the writes the headset panels make. Without the library every operation
// does nothing and every write reports failure.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "audio/AudioLibrary.h"

namespace m470 {

struct AudioEndpoint {
    AudioDeviceInfo info{};
    std::array<uint32_t, 3> features{};  // items 0, 4 and 6 of "GetSupportFeature"
    bool Found() const { return info.words[0] || info.words[1] || info.words[2] || info.words[3]; }
};

// The settings a library read gave; a value that could not be read is empty.
struct AudioReadings {
    std::optional<int32_t> micInSelect, micInValue;
    std::optional<int32_t> micMoniterSelect, micMoniterValue;
    std::optional<int32_t> magicEnable, magicType;
};

inline constexpr int kEqualiserBands = 10;
// Feature word 0 of the capture endpoint: the chip offers the voice changer.
inline constexpr uint32_t kFeatureVoiceChanger = 0x20000;

class CHeadsetAudio {
public:
    // tell shows one of the library's plain failure texts to the user.
    using Tell = std::function<void(const std::string&)>;
    explicit CHeadsetAudio(Tell tell = {});

    bool LoadAudioLibrary(const std::string& absolutePath);
    bool Available() const { return library_.Loaded(); }
    const AudioLibrary& Library() const { return library_; }

    // Load, initialise, choose the endpoints, write the missing defaults and
    // read the state back (empty readings when there is no library or no
    // render endpoint).
    AudioReadings InitAudio(const std::string& absolutePath);
    void ChooseEndpoints();
    void ApplyAudioDefaults();
    AudioReadings ReadAudioState();

    const AudioEndpoint& Render() const { return render_; }
    const AudioEndpoint& Capture() const { return capture_; }

    // The panel writes; true when the library took the value.
    bool SetMicVolume(int percent);
    bool SetMicMute(int muted);
    bool SetMonitorVolume(int percent);
    bool SetMonitorMute(int muted);
    // These report whether every write was taken; a library may refuse the
    // effects it cannot apply.
    bool SetVoiceChanger(bool on);
    bool SetVoiceEffect(int effect);  // 1-4; anything else sends nothing
    bool ApplyEqualiser(std::span<const int> levels);
    bool MoveBand(int band, int level);

private:
    int32_t ReadNumber(const AudioEndpoint& endpoint, const char* property, const AudioParameter& parameter,
                       double& number) const;
    std::optional<int32_t> ReadFlagInverted(const char* property) const;
    std::optional<int32_t> ReadPercent(const char* property, int32_t channel) const;
    void ReadFeatures(AudioEndpoint& endpoint);
    void Say(const char* text) const;

    Tell tell_;
    AudioLibrary library_;
    AudioEndpoint render_, capture_;
};

// Percent of a 0..1 fraction, rounded to nearest and held to 0..100.
int32_t FractionToPercent(double fraction);

}  // namespace m470
