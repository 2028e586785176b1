// Cost of loading and saving a factory mouse profile: every edit on the mouse
// page saves the profile, so this runs at UI speed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "devices/MouseProfiledata.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"

namespace {

std::string BenchFolder() {
    std::string folder = std::filesystem::temp_directory_path().string() + "/m470-bench/";
    std::filesystem::create_directories(folder);
    return folder;
}

void LoadMouseProfile(benchmark::State& state) {
    const std::string path = BenchFolder() + "load.Json";
    m470::SaveJson(path, m470::LoadJson(m470::GetDefaultProfilePath("mouse")));
    for (auto _ : state) {
        m470::CMouseProfiledata document;
        document.LoadDeviceSection(path);
        benchmark::DoNotOptimize(document.ReadSettings({}));
    }
}
BENCHMARK(LoadMouseProfile);

void SaveMouseProfile(benchmark::State& state) {
    const std::string path = BenchFolder() + "save.Json";
    m470::CMouseProfiledata document;
    document.SetDefaultPath(m470::GetDefaultProfilePath("mouse"));
    document.SetProfilePath(path);
    document.LoadDeviceSection(path);
    for (auto _ : state) benchmark::DoNotOptimize(document.Save());
}
BENCHMARK(SaveMouseProfile);

}  // namespace

BENCHMARK_MAIN();
