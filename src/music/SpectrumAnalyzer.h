#pragma once
// Sound in, spectrum frame out: the capture program's frequency analysis.
// One frame per 500 sample frames at 48 kHz (96 frames a second): the window
// delivers every third frame, so the lighting gets 32 band sets a second,
// the rate its audio steps run at. A frame is the magnitude of 500 bins
// (48 Hz apart, from 48 Hz up) of a 1000-sample Hann window over the last
// two hops, in decibels from -60 dB (0) to full scale (2000): the band range
// the audio renderers read (600 - v * 600 / 2000).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "music/CaptureProtocol.h"

namespace m470 {

inline constexpr int kCaptureRate = 48000;
inline constexpr int kCaptureChannels = 2;
inline constexpr size_t kHopFrames = 500;
inline constexpr size_t kWindowFrames = 2 * kHopFrames;
inline constexpr int32_t kFullScaleValue = 2000;
inline constexpr double kFloorDb = -60.0;

using SpectrumValues = std::array<int32_t, kSpectrumValues>;

// Full scale for the value of a sound level in decibels (clamped to 0-2000).
int32_t ScaleDecibels(double decibels);

class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // One hop of interleaved stereo S16LE samples (kHopFrames frames, fewer
    // are padded with silence); gives the frame over this hop and the one before.
    SpectrumValues Analyze(const int16_t* interleaved, size_t frames);
    // The loudness of the last hop on the same 0-2000 scale (RMS).
    int32_t Level() const { return level_; }

private:
    std::vector<double> samples_;  // the last kWindowFrames mono samples
    std::vector<double> window_;
    double* input_;
    void* output_;  // fftw_complex[kWindowFrames / 2 + 1]
    void* plan_;
    int32_t level_ = 0;
};

}  // namespace m470
