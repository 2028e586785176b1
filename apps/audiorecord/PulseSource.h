#pragma once
// What the default output plays: the monitor of the default sink through the
// sound server's simple API (PulseAudio, or PipeWire's PulseAudio service).
#include "music/CaptureServer.h"

struct pa_simple;

namespace m470 {

class PulseSource : public SoundSource {
public:
    ~PulseSource() override;
    bool Open(std::string& why) override;
    bool Read(int16_t* interleaved, const StopEvent& stop) override;
    void Close() override;

private:
    pa_simple* stream_ = nullptr;
};

}  // namespace m470
