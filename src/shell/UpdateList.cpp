#include "shell/UpdateList.h"

#include "pages/DeviceSelector.h"
#include "platform/Registry.h"
#include "update/UpdateSettings.h"

namespace m470 {

std::vector<UpdateEntry> BuildUpdateList(const CDeviceSelector* selector, const RegistryStore& registry,
                                         const std::string& programVersion) {
    const UpdateSettings settings = ReadUpdateSettings(registry);
    std::vector<UpdateEntry> entries;
    for (size_t k = 0; selector != nullptr && k < selector->Entries().size(); ++k) {
        const uint16_t version = selector->InstalledVersion(k);
        const CVantrelUSBDevice* device = selector->Entries()[k]->Device();
        if (version == 0 || device == nullptr) continue;  // not connected: not handed to the window
        const ProductRow& product = selector->Product(k);
        const std::string productName = product.name;
        UpdateEntry entry;
        entry.type = product.update.type;
        entry.installedVersion = version;
        entry.brand = settings.brand;
        entry.firmwareId = settings.FirmwareId(registry, productName);
        entry.deviceName = product.update.deviceName;
        entry.listName = productName + "_device_name_text";
        entries.push_back(entry);
    }
    UpdateEntry program;
    program.type = kTypeProgram;
    program.installedVersion = VersionNumberOf(programVersion);
    program.brand = settings.brand;
    program.firmwareId = kProgramFirmwareId;
    program.deviceName = "M470";
    program.listName = "update_program_name";
    program.versionLabel = "V" + programVersion;
    entries.push_back(program);
    return entries;
}

}  // namespace m470
