#pragma once
// MixerControls on an ALSA card's simple mixer elements: the microphone's
// capture side, and its playback side as the monitor.
#include <alsa/asoundlib.h>

#include <string>

#include "MixerControls.h"

namespace m470::osconf {

class AlsaMixer : public MixerControls {
public:
    explicit AlsaMixer(int card);
    ~AlsaMixer() override;
    AlsaMixer(const AlsaMixer&) = delete;
    AlsaMixer& operator=(const AlsaMixer&) = delete;

    bool Opened() const { return mixer_ != nullptr; }

    bool HasVolume(MixerPath path) const override;
    bool HasSwitch(MixerPath path) const override;
    bool Range(MixerPath path, long& min, long& max) override;
    bool DbRange(MixerPath path, long& min, long& max) override;
    bool Volume(MixerPath path, long& raw) override;
    bool SetVolume(MixerPath path, long raw) override;
    bool Db(MixerPath path, long& centiDb) override;
    bool SetDb(MixerPath path, long centiDb) override;
    bool Switch(MixerPath path, bool& on) override;
    bool SetSwitch(MixerPath path, bool on) override;

private:
    snd_mixer_elem_t* Element(MixerPath path) const;
    snd_mixer_t* mixer_ = nullptr;
    snd_mixer_elem_t* capture_ = nullptr;
    snd_mixer_elem_t* monitor_ = nullptr;
};

}  // namespace m470::osconf
