#pragma once
// The audio of a headset (microphone, monitor, equaliser, voice changer)
// through the sound system. A device reports it as its `headsetAudio`
// capability; the headset page's audio panels edit it.
#include "devices/HeadsetAudioSettings.h"

namespace m470 {

class HeadsetAudioControls {
public:
    virtual ~HeadsetAudioControls() = default;
    // Binds the audio library and takes what the sound system holds (once
    // the page is built).
    virtual void StartAudio() = 0;
    virtual CHeadsetAudioSettings& AudioSettings() = 0;
    // The duplicate-name message of a refused custom save.
    virtual void TellDuplicateName() = 0;
};

}  // namespace m470
