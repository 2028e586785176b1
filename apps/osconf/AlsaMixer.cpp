#include "AlsaMixer.h"

namespace m470::osconf {
namespace {

// USB headsets name their microphone "Mic"; some cards call it otherwise.
constexpr const char* kCaptureNames[] = {"Mic", "Headset", "Capture"};
constexpr const char* kMonitorNames[] = {"Mic", "Sidetone", "Headset"};

template <size_t N, class Has>
snd_mixer_elem_t* FindElement(snd_mixer_t* mixer, const char* const (&names)[N], Has has) {
    for (const char* name : names) {
        snd_mixer_selem_id_t* id = nullptr;
        snd_mixer_selem_id_alloca(&id);
        snd_mixer_selem_id_set_name(id, name);
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id);
        if (element != nullptr && has(element)) return element;
    }
    return nullptr;
}

}  // namespace

AlsaMixer::AlsaMixer(int card) {
    const std::string name = "hw:" + std::to_string(card);
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) return;
    if (snd_mixer_attach(mixer, name.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return;
    }
    mixer_ = mixer;
    capture_ = FindElement(mixer_, kCaptureNames, [](snd_mixer_elem_t* e) {
        return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
    });
    monitor_ = FindElement(mixer_, kMonitorNames, [](snd_mixer_elem_t* e) {
        return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
    });
}

AlsaMixer::~AlsaMixer() {
    if (mixer_ != nullptr) snd_mixer_close(mixer_);
}

snd_mixer_elem_t* AlsaMixer::Element(MixerPath path) const { return path == MixerPath::Capture ? capture_ : monitor_; }

bool AlsaMixer::HasVolume(MixerPath path) const {
    snd_mixer_elem_t* e = Element(path);
    if (e == nullptr) return false;
    return path == MixerPath::Capture ? snd_mixer_selem_has_capture_volume(e) : snd_mixer_selem_has_playback_volume(e);
}

bool AlsaMixer::HasSwitch(MixerPath path) const {
    snd_mixer_elem_t* e = Element(path);
    if (e == nullptr) return false;
    return path == MixerPath::Capture ? snd_mixer_selem_has_capture_switch(e) : snd_mixer_selem_has_playback_switch(e);
}

bool AlsaMixer::Range(MixerPath path, long& min, long& max) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    return (path == MixerPath::Capture ? snd_mixer_selem_get_capture_volume_range(e, &min, &max)
                                       : snd_mixer_selem_get_playback_volume_range(e, &min, &max)) == 0;
}

bool AlsaMixer::DbRange(MixerPath path, long& min, long& max) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    return (path == MixerPath::Capture ? snd_mixer_selem_get_capture_dB_range(e, &min, &max)
                                       : snd_mixer_selem_get_playback_dB_range(e, &min, &max)) == 0;
}

bool AlsaMixer::Volume(MixerPath path, long& raw) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    const auto channel = SND_MIXER_SCHN_FRONT_LEFT;
    return (path == MixerPath::Capture ? snd_mixer_selem_get_capture_volume(e, channel, &raw)
                                       : snd_mixer_selem_get_playback_volume(e, channel, &raw)) == 0;
}

bool AlsaMixer::SetVolume(MixerPath path, long raw) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    return (path == MixerPath::Capture ? snd_mixer_selem_set_capture_volume_all(e, raw)
                                       : snd_mixer_selem_set_playback_volume_all(e, raw)) == 0;
}

bool AlsaMixer::Db(MixerPath path, long& centiDb) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    const auto channel = SND_MIXER_SCHN_FRONT_LEFT;
    return (path == MixerPath::Capture ? snd_mixer_selem_get_capture_dB(e, channel, &centiDb)
                                       : snd_mixer_selem_get_playback_dB(e, channel, &centiDb)) == 0;
}

bool AlsaMixer::SetDb(MixerPath path, long centiDb) {
    if (!HasVolume(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    return (path == MixerPath::Capture ? snd_mixer_selem_set_capture_dB_all(e, centiDb, 0)
                                       : snd_mixer_selem_set_playback_dB_all(e, centiDb, 0)) == 0;
}

bool AlsaMixer::Switch(MixerPath path, bool& on) {
    if (!HasSwitch(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    int value = 0;
    const auto channel = SND_MIXER_SCHN_FRONT_LEFT;
    const int result = path == MixerPath::Capture ? snd_mixer_selem_get_capture_switch(e, channel, &value)
                                                  : snd_mixer_selem_get_playback_switch(e, channel, &value);
    on = value != 0;
    return result == 0;
}

bool AlsaMixer::SetSwitch(MixerPath path, bool on) {
    if (!HasSwitch(path)) return false;
    snd_mixer_elem_t* e = Element(path);
    return (path == MixerPath::Capture ? snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0)
                                       : snd_mixer_selem_set_playback_switch_all(e, on ? 1 : 0)) == 0;
}

}  // namespace m470::osconf
