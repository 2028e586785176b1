// A headset profile (the factory HD.Json form) from outside: the headset
// page loads it without crashing, builds its record and shows its settings;
// after the audio edits a user makes the file is valid, reads back as the
// same section and the same audio settings, and a second save writes the
// same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "FuzzSupport.h"
#include "devices/HS6533Device.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "ui/MemoryControlTree.h"

using namespace m470;

namespace {

struct Headset {
    ui::MemoryControlHost host;
    std::unique_ptr<CVantrelHS6533Device> device;
    std::unique_ptr<CDevicePage> view;  // shows what the device tells
    std::string path;

    Headset() {
        ui::MemoryControl* page = host.LoadLayout(GetInstallFolder() + "skin/hs6533device.ui");
        if (page == nullptr) fuzz::Fail("the headset layout is missing beside the executable");
        // No audio library: the settings are kept in the profile all the same.
        device = std::make_unique<CVantrelHS6533Device>(nullptr, DefaultProduct(DeviceKind::Headset), "/nonexistent/libaudio.so");
        view = CPageBuilder::MakePage(*device, host, page, nullptr);
        // The profile strip chose the profile file: the one the page reads.
        device->LoadAssignments();
        path = device->GetProfilePath();
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    }
};

CHs6533Profiledata Reload(const std::string& path) {
    CHs6533Profiledata profile;
    profile.SetDefaultPath(GetDefaultDataFolder() + "HD.Json");
    profile.SetProfilePath(path);
    profile.LoadDeviceSection(path);
    return profile;
}

bool SameLevels(const std::vector<int>& stored, const EqualiserLevels& shown) {
    return std::equal(stored.begin(), stored.end(), shown.begin(), shown.end());
}

void Edit(CHeadsetAudioSettings& settings, uint8_t choice) {
    settings.SelectPreset(1 + choice % equaliser::kCustom);
    settings.MoveBand(choice % equaliser::kBands, choice % 25 - 12);
    EqualiserLevels levels{};
    levels.fill(choice % 13);
    settings.SaveCustom("Fuzzed", levels);
    // The first few and the last: a list of thousands would spend the run on saves.
    const int names = static_cast<int>(settings.Names().size());
    for (int index = 0; index < names; index = index < 3 ? index + 1 : std::max(index + 1, names - 1)) settings.SelectCustom(index);
    if (!settings.Names().empty()) settings.DeleteCustom(choice % static_cast<int>(settings.Names().size()));
    settings.SelectPreset(equaliser::kCustom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    fuzz::ScratchFolder();  // the device folder lies in the scratch folder
    static Headset headset;
    CVantrelHS6533Device& device = *headset.device;
    const std::string& path = headset.path;
    fuzz::WriteFile(path, bytes, size);

    device.LoadAssignments();
    if (device.GetProfilePath() != path) fuzz::Fail("the headset read another profile file");
    device.RecordToWrite();
    device.PublishSettings();
    CHeadsetAudioSettings& settings = device.AudioSettings();
    Edit(settings, size > 0 ? bytes[size - 1] : 0);
    if (!device.HeadsetProfile().Save()) fuzz::Fail("a headset profile in a writable folder could not be saved");
    device.StopLightingThread();

    bool valid = false;
    ParseJson(fuzz::ReadFile(path), &valid);
    if (!valid) fuzz::Fail("the saved headset profile is not valid JSON");
    CHs6533Profiledata again = Reload(path);
    if (StyledJson(again.Section()) != StyledJson(device.HeadsetProfile().Section()))
        fuzz::Fail("the saved headset section reads back different");
    if (again.ReadSystemSetStages() != settings.Stages()) fuzz::Fail("the audio settings shown are not the ones saved");
    if (again.ReadCustomNames() != settings.Names()) fuzz::Fail("the custom equaliser names shown are not the ones saved");
    const std::string saved = fuzz::ReadFile(path);
    if (!again.Save() || fuzz::ReadFile(path) != saved) fuzz::Fail("a second save changed the headset file");
    const int selected = settings.SelectedName();
    if (settings.CustomMode() && selected >= 0 && !SameLevels(again.ReadCustomBands(selected), settings.Bands()))
        fuzz::Fail("the custom levels shown are not the ones saved");
    return 0;
}
