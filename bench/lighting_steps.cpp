// One step of each effect for a mouse-sized (20) and a keyboard-sized (170)
// frame, one build of the audio mode's stream, and one step of every
// keyboard mode (and audio renderer) over its 170 keys.
#include <benchmark/benchmark.h>

#include <string>

#include "devices/AudioRenderers.h"
#include "devices/LightingSteps.h"
#include "devices/keyboard/KeyboardAudioRenderers.h"

namespace {

m470::LightingState Light(uint8_t mode) {
    m470::LightingState light;
    light.mode = mode;
    light.brightness = 4;
    light.speed = 2;
    light.direction = 1;
    light.multiColor = 1;
    light.colour = {200, 100, 50};
    return light;
}

template <typename Step>
void RunStep(benchmark::State& state, Step step) {
    m470::LedFrame frame(static_cast<size_t>(state.range(0)));
    uint64_t now = 0;
    for (auto _ : state) {
        step(frame, now += 7);
        benchmark::DoNotOptimize(frame.data());
    }
}

void Breathing(benchmark::State& s) {
    m470::EffectState e;
    RunStep(s, [&](m470::LedFrame& f, uint64_t) { m470::StepBreathing(e, Light(0), f); });
}
void Spectrum(benchmark::State& s) {
    m470::EffectState e;
    RunStep(s, [&](m470::LedFrame& f, uint64_t) { m470::StepSpectrum(e, Light(1), f); });
}
void Blink(benchmark::State& s) {
    m470::EffectState e;
    RunStep(s, [&](m470::LedFrame& f, uint64_t now) { m470::StepBlink(e, Light(4), f, now); });
}
void Wave(benchmark::State& s) {
    m470::EffectState e;
    RunStep(s, [&](m470::LedFrame& f, uint64_t) { m470::StepMouseWave(e, Light(9), f); });
}
void Trail(benchmark::State& s) {
    m470::EffectState e;
    m470::TrailState t;
    t.ring[0] = true;
    RunStep(s, [&](m470::LedFrame& f, uint64_t) { m470::StepMouseTrail(e, t, Light(5), f); });
}
void Reaction(benchmark::State& s) {
    m470::ReactionState r;
    RunStep(s, [&](m470::LedFrame& f, uint64_t) {
        if (r.leds[0].stage == 0) m470::ArmReaction(r, f.size(), [] { return 7u; });
        m470::StepReaction(r, Light(6), f);
    });
}
void Custom(benchmark::State& s) {
    m470::CustomState c;
    std::vector<m470::LedEffectStep> steps{{4, 4, 2, 0, 1, 1, 2, 3, 500, 0}, {0, 3, 1, 0, 0, 9, 9, 9, 500, 0}};
    RunStep(s, [&](m470::LedFrame& f, uint64_t now) { m470::StepCustom(c, steps, Light(10), f, now); });
}
void PerLed(benchmark::State& s) {
    m470::PerLedState p;
    p.records.assign(static_cast<size_t>(s.range(0)), m470::LightListEntry{0, 4, 2, 0, 1, 1, 2, 3, {0, 0}, 1});
    RunStep(s, [&](m470::LedFrame& f, uint64_t now) { m470::RunPerLedRules(p, f, now, m470::kPerLedAll, false); });
}
void AudioColumns(benchmark::State& s) {
    m470::EffectState e;
    m470::AudioState a;
    m470::TrailState t;
    m470::AudioLightInfo info{0, 0, 0, 20, 255, 0, 0, 1, 0};
    const m470::LightingState light = Light(11);
    RunStep(s, [&](m470::LedFrame& f, uint64_t now) {
        a.bands.fill(static_cast<int32_t>(now % 2000));
        m470::AudioScene scene{e, a, t, light, info, f};
        m470::RenderAudioColumns(scene);
    });
}

// Channel × level per LED into the 3-byte stream, as RenderLighting sends it.
void StreamBuild(benchmark::State& s) {
    m470::LedFrame frame(static_cast<size_t>(s.range(0)), m470::LedEntry{200, 100, 50, 180});
    std::vector<uint8_t> bytes;
    for (auto _ : s) {
        bytes.clear();
        for (size_t i = 0; i < frame.size(); ++i) {
            if (i == 170) continue;
            const m470::Rgb shown = frame[i].Shown();
            bytes.insert(bytes.end(), {shown.red, shown.green, shown.blue});
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}

// One keyboard step of the mode; the audio mode is fed its 25 bands before
// each step (the renderers use them up), the reactive modes get a key press
// and release every 8 steps.
void KeyboardMode(benchmark::State& s, uint8_t mode, uint8_t audioMode) {
    m470::KeyboardEffects fx;
    m470::ResetEffects(fx);
    m470::SeedEffect(fx, mode);
    const m470::LightingState light = Light(mode);
    const m470::AudioLightInfo audio{audioMode, 0, 0, 20, 255, 0, 0, 1, 0};
    m470::LedFrame frame(m470::kKeyboardKeys);
    std::array<uint8_t, m470::kKeyboardKeys> keyMap{};
    for (size_t k = 0; k < keyMap.size(); ++k) keyMap[k] = static_cast<uint8_t>(k);
    const m470::KeyboardModeRow* row = m470::KeyboardModeOf(mode);
    std::array<int32_t, m470::kKeyboardBands> bands{};
    m470::BeatTotal beat;
    uint64_t now = 0;
    uint32_t count = 0;
    for (auto _ : s) {
        ++count;
        if (mode == 29) {
            for (size_t i = 0; i < bands.size(); ++i) bands[i] = static_cast<int32_t>((count * 37 + i * 80) % 2000);
            m470::FeedKeyboardSpectrum(fx, bands, mode, audio, beat);
        }
        if (count % 8 == 0) m470::KeyReaction(fx, keyMap, mode, static_cast<uint8_t>(count / 8 % 126), count % 16 == 0);
        m470::KeyboardScene scene{fx, light, 2, audio, frame, now += 16, m470::EffectRandom};
        row->step(scene);
        benchmark::DoNotOptimize(frame.data());
    }
}

// The 513-byte LED block of a keyboard frame and the bytes streamed from it.
void KeyboardStream(benchmark::State& s) {
    m470::LedFrame frame(m470::kKeyboardKeys, m470::LedEntry{200, 100, 50, 180});
    std::array<uint8_t, m470::kKeyboardKeys> leds{};
    for (size_t k = 0; k < leds.size(); ++k) leds[k] = static_cast<uint8_t>(k < 126 ? k : 255);
    for (auto _ : s) {
        const auto bytes = m470::KeyboardStreamBytes(m470::KeyboardLedBlock(frame, leds), 126);
        benchmark::DoNotOptimize(bytes.data());
    }
}

const bool kKeyboardModesRegistered = [] {
    for (int mode = 1; mode <= 30; ++mode) {
        if (mode == 29 || m470::KeyboardModeOf(static_cast<uint8_t>(mode)) == nullptr) continue;
        benchmark::RegisterBenchmark(("KeyboardMode/" + std::to_string(mode)).c_str(), KeyboardMode,
                                     static_cast<uint8_t>(mode), uint8_t{0});
    }
    for (int audioMode = 0; audioMode <= 6; ++audioMode)
        benchmark::RegisterBenchmark(("KeyboardMode/29/audio" + std::to_string(audioMode)).c_str(), KeyboardMode,
                                     uint8_t{29}, static_cast<uint8_t>(audioMode));
    benchmark::RegisterBenchmark("KeyboardStream/126", KeyboardStream);
    return true;
}();

BENCHMARK(Breathing)->Arg(20)->Arg(170);
BENCHMARK(Spectrum)->Arg(20)->Arg(170);
BENCHMARK(Blink)->Arg(20)->Arg(170);
BENCHMARK(Wave)->Arg(20)->Arg(170);
BENCHMARK(Trail)->Arg(20)->Arg(170);
BENCHMARK(Reaction)->Arg(20)->Arg(170);
BENCHMARK(Custom)->Arg(20)->Arg(170);
BENCHMARK(PerLed)->Arg(20)->Arg(170);
BENCHMARK(AudioColumns)->Arg(20)->Arg(170);
BENCHMARK(StreamBuild)->Arg(20)->Arg(171);

}  // namespace

BENCHMARK_MAIN();
