#pragma once
// A sound source without a sound server: a sine (or silence) paced like real
// capture, one hop per hop's time.
#include <cmath>
#include <numbers>

#include "music/CaptureServer.h"

namespace m470::test {

// Interleaved stereo S16LE: a sine of frequency Hz at amplitude (of full
// scale), starting at sample index first.
inline void FillSine(int16_t* interleaved, size_t frames, double frequency, double amplitude, size_t first) {
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(first + i) / kCaptureRate;
        const auto sample = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * t)));
        for (int c = 0; c < kCaptureChannels; ++c) interleaved[i * kCaptureChannels + c] = sample;
    }
}

class SineSource : public SoundSource {
public:
    SineSource(double frequency, double amplitude) : frequency_(frequency), amplitude_(amplitude) {}
    bool Open(std::string&) override { return true; }
    bool Read(int16_t* interleaved, const StopEvent& stop) override {
        if (stop.WaitFor(std::chrono::milliseconds(1000 * kHopFrames / kCaptureRate))) return false;
        FillSine(interleaved, kHopFrames, frequency_, amplitude_, position_);
        position_ += kHopFrames;
        return true;
    }
    void Close() override {}

private:
    double frequency_;
    double amplitude_;
    size_t position_ = 0;
};

}  // namespace m470::test
