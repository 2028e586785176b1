// Cost of the device scan on this machine's real HID bus, with no supported
// product plugged: a pass that only checks for changes, and a pass that
// enumerates every hidraw node. The thread passes when udev (or the /dev
// watch) reports a change, and every 2 s while a node could not be opened.
#include <benchmark/benchmark.h>

#include "device_link/HidDevice.h"
#include "device_link/HidrawBackend.h"
#include "devices/DeviceManager.h"

namespace {

void IdleScanPass(benchmark::State& state) {
    auto backend = std::make_shared<m470::HidrawBackend>();
    m470::CDeviceManager manager({}, backend);
    m470::CHidDevice probe(backend);
    manager.ScanPass(probe);  // the first pass enumerates
    for (auto _ : state) manager.ScanPass(probe);
}
BENCHMARK(IdleScanPass);

void FullEnumeration(benchmark::State& state) {
    auto backend = std::make_shared<m470::HidrawBackend>();
    m470::CHidDevice probe(backend);
    for (auto _ : state) {
        probe.EnumeratePaths();
        benchmark::DoNotOptimize(probe.PathCount());
        probe.FreePaths();
    }
}
BENCHMARK(FullEnumeration);

}  // namespace

BENCHMARK_MAIN();
