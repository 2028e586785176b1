#pragma once
// What the audio library needs of a sound card's mixer: the microphone's
// capture controls and its playback into the headphones (the monitor, or
// sidetone). Levels are raw steps; dB values in hundredths of a dB.
namespace m470::osconf {

enum class MixerPath { Capture, Monitor };

class MixerControls {
public:
    virtual ~MixerControls() = default;
    virtual bool HasVolume(MixerPath path) const = 0;
    virtual bool HasSwitch(MixerPath path) const = 0;
    virtual bool Range(MixerPath path, long& min, long& max) = 0;
    virtual bool DbRange(MixerPath path, long& min, long& max) = 0;
    virtual bool Volume(MixerPath path, long& raw) = 0;
    virtual bool SetVolume(MixerPath path, long raw) = 0;
    virtual bool Db(MixerPath path, long& centiDb) = 0;
    virtual bool SetDb(MixerPath path, long centiDb) = 0;
    virtual bool Switch(MixerPath path, bool& on) = 0;
    virtual bool SetSwitch(MixerPath path, bool on) = 0;
};

}  // namespace m470::osconf
