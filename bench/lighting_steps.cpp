// One step of each effect for a mouse-sized (20) and a keyboard-sized (170)
// frame, one build of the audio mode's stream, and one step of every
// keyboard mode (and audio renderer) over its 170 keys.
//   --table   prints, after the run, the keyboard modes as a markdown table
//             (median CPU per step over the repetitions) beside a reference
//             measured in the same run: 170 keys set to one colour.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

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

namespace {

// The cheapest step a mode could take, so a slower or busier machine shows in
// the reference column of the same run rather than only in the figures.
void KeyboardFill(benchmark::State& s) {
    m470::LedFrame frame(m470::kKeyboardKeys);
    uint8_t level = 0;
    for (auto _ : s) {
        std::fill(frame.begin(), frame.end(), m470::LedEntry{200, 100, 50, ++level});
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(KeyboardFill);

// What each keyboard mode looks like (the row names of the table).
const std::map<std::string, std::string> kModeNames{
    {"1", "column wave"},        {"2", "column pulse"},       {"3", "order wave"},          {"4", "spectrum"},
    {"5", "column breathing"},   {"6", "static rows"},        {"7", "reaction fade"},       {"8", "ripple spread"},
    {"9", "ripple line"},        {"10", "sparkle"},           {"11", "key cycle"},          {"12", "row wave"},
    {"13", "ripple fountain"},   {"14", "script show"},       {"15", "pulse twinkle"},      {"16", "ripple bounce"},
    {"17", "preset colour"},     {"18", "grid wave"},         {"20", "custom levels"},      {"21", "snake"},
    {"22", "pulse wave"},        {"23", "blink"},             {"24", "sweep"},              {"25", "reaction spread"},
    {"26", "breathing, palette"}, {"27", "blink, palette"},   {"28", "off"},                {"30", "fixed colour"},
};
constexpr double kGoalMicroseconds = 2.0;

// Shows the run as usual and keeps each benchmark's CPU time per step (the
// median when repeated, else the last run) for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        // Repetitions come before their aggregates, so the median has the last word.
        for (const Run& run : reports)
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name == "median")
                medians_[run.run_name.str()] = run.GetAdjustedCPUTime() * Microseconds(run.time_unit);
    }
    void PrintTable() const {
        const auto reference = medians_.find("KeyboardFill");
        if (reference == medians_.end()) {
            std::printf("no table: the run did not include KeyboardFill\n");
            return;
        }
        std::printf("\n| mode | CPU per step | x 170 keys set to one colour (%.3f us, same run) | goal | met |\n"
                    "|---|---|---|---|---|\n",
                    reference->second);
        for (const auto& [label, name] : Rows()) {
            const auto found = medians_.find(name);
            if (found == medians_.end()) continue;
            std::printf("| %s | %.2f us | %.1f | <= %.0f us | %s |\n", label.c_str(), found->second,
                        found->second / reference->second, kGoalMicroseconds,
                        found->second <= kGoalMicroseconds ? "yes" : "no");
        }
    }

private:
    static double Microseconds(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kNanosecond: return 1e-3;
            case benchmark::kMicrosecond: return 1.0;
            case benchmark::kMillisecond: return 1e3;
            default: return 1e6;
        }
    }
    // Table rows in mode order: (label, benchmark name).
    static std::vector<std::pair<std::string, std::string>> Rows() {
        std::vector<std::pair<std::string, std::string>> rows;
        for (int mode = 1; mode <= 30; ++mode) {
            const auto named = kModeNames.find(std::to_string(mode));
            if (named != kModeNames.end())
                rows.emplace_back(std::to_string(mode) + " " + named->second, "KeyboardMode/" + std::to_string(mode));
        }
        for (int audioMode = 0; audioMode <= 6; ++audioMode)
            rows.emplace_back("29 audio " + std::to_string(audioMode),
                              "KeyboardMode/29/audio" + std::to_string(audioMode));
        rows.emplace_back("stream bytes (126 slots)", "KeyboardStream/126");
        return rows;
    }
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    bool table = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table") == 0) table = true;
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (table) reporter.PrintTable();
    benchmark::Shutdown();
    return 0;
}
