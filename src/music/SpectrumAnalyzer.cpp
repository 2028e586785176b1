#include "music/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <mutex>
#include <numbers>

namespace m470 {
namespace {

// Planning is the one part of the library that is not thread-safe.
std::mutex& PlanMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

int32_t ScaleDecibels(double decibels) {
    if (!(decibels > kFloorDb)) return 0;  // also -inf and NaN
    const double value = (decibels - kFloorDb) * kFullScaleValue / -kFloorDb;
    return static_cast<int32_t>(std::min<double>(std::lround(value), kFullScaleValue));
}

SpectrumAnalyzer::SpectrumAnalyzer() : samples_(kWindowFrames, 0.0), window_(kWindowFrames) {
    for (size_t i = 0; i < kWindowFrames; ++i)
        window_[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kWindowFrames);
    input_ = fftw_alloc_real(kWindowFrames);
    auto* output = fftw_alloc_complex(kWindowFrames / 2 + 1);
    output_ = output;
    std::lock_guard lock(PlanMutex());
    plan_ = fftw_plan_dft_r2c_1d(static_cast<int>(kWindowFrames), input_, output, FFTW_ESTIMATE);
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    {
        std::lock_guard lock(PlanMutex());
        fftw_destroy_plan(static_cast<fftw_plan>(plan_));
    }
    fftw_free(input_);
    fftw_free(output_);
}

SpectrumValues SpectrumAnalyzer::Analyze(const int16_t* interleaved, size_t frames) {
    frames = std::min(frames, kHopFrames);
    std::rotate(samples_.begin(), samples_.begin() + kHopFrames, samples_.end());
    double energy = 0.0;
    for (size_t i = 0; i < kHopFrames; ++i) {
        double mono = 0.0;
        if (i < frames) {
            for (int c = 0; c < kCaptureChannels; ++c) mono += interleaved[i * kCaptureChannels + c];
            mono /= kCaptureChannels * 32768.0;
        }
        samples_[kHopFrames + i] = mono;
        energy += mono * mono;
    }
    // A full-scale sine has an RMS of 1/sqrt(2): count it as full scale.
    level_ = ScaleDecibels(10.0 * std::log10(2.0 * energy / kHopFrames));

    for (size_t i = 0; i < kWindowFrames; ++i) input_[i] = samples_[i] * window_[i];
    fftw_execute(static_cast<fftw_plan>(plan_));
    const auto* bins = static_cast<const fftw_complex*>(output_);
    // The Hann window halves a tone's peak: a full-scale sine gives |X| = N / 4.
    constexpr double kNormal = 4.0 / kWindowFrames;
    SpectrumValues values{};
    for (size_t i = 0; i < kSpectrumValues; ++i) {
        const double magnitude = std::hypot(bins[i + 1][0], bins[i + 1][1]) * kNormal;
        values[i] = ScaleDecibels(20.0 * std::log10(magnitude));
    }
    return values;
}

}  // namespace m470
