// Exchanges per second through the transport against the virtual mouse, with
// no reply latency and with the latency measured on the products. The CPU
// column is the process's CPU per exchange (every thread, the emulator's
// included): waiting for a late reply should cost next to nothing.
#include <benchmark/benchmark.h>

#include "device_link/HidTransport.h"
#include "sim/VirtualDeviceHub.h"

namespace {

struct Rig {
    explicit Rig(bool receiver, bool realistic) {
        hub.Plug(receiver ? "mouse-receiver" : "mouse");
        if (realistic) hub.UseRealisticLatency();
        for (const std::string& path : hub.Backend()->EnumerateInterfaces()) {
            if (path.find("&col04") == std::string::npos) continue;
            (receiver ? transport.Secondary() : transport.Primary()).Open(path, true, true, true, false);
        }
        transport.SetLinkMode(receiver ? m470::LinkReceiver : m470::LinkWired);
        transport.SetOpened(true);
    }
    m470::VirtualDeviceHub hub;
    m470::CHidTransport transport{hub.Backend()};
};

void ReadShortExchange(benchmark::State& state) {
    Rig rig(state.range(0) != 0, state.range(1) != 0);
    uint8_t status[6];
    for (auto _ : state)
        if (rig.transport.ReadShort(status, sizeof status, 0) != m470::kResultSuccess) state.SkipWithError("exchange failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadShortExchange)->ArgNames({"receiver", "realistic"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->UseRealTime()->MeasureProcessCPUTime();

void StreamLightingFrame(benchmark::State& state) {
    Rig rig(false, false);
    std::vector<uint8_t> frame(60, 0x40);
    for (auto _ : state) rig.transport.StreamLighting(frame.data(), frame.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StreamLightingFrame)->UseRealTime()->MeasureProcessCPUTime();

// One settings write as a device sends it: BeginConfig, the 87-byte record,
// EndConfig. EndConfig goes out 10 ms after the last exchange, so the pause
// is most of the time; the CPU column shows it costs none.
void FramedSettingsWrite(benchmark::State& state) {
    Rig rig(state.range(0) != 0, state.range(1) != 0);
    std::vector<uint8_t> record(87, 0x11);
    for (auto _ : state) {
        const bool written = rig.transport.BeginConfig() == m470::kResultSuccess &&
                             rig.transport.WriteSettings(record.data(), record.size(), 0) == m470::kResultSuccess &&
                             rig.transport.EndConfig() == m470::kResultSuccess;
        if (!written) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FramedSettingsWrite)->ArgNames({"receiver", "realistic"})->Args({0, 0})->Args({1, 1})
    ->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
