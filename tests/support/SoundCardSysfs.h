#pragma once
// A sysfs tree of sound cards: class/sound/cardN -> devices/.../cardN, whose
// device link points at a USB interface below the USB device with the ids.
#include <filesystem>
#include <string>

#include "support/TempFolder.h"

namespace m470::test {

inline void AddSoundCard(const TempFolder& sysfs, int card, const std::string& vendor, const std::string& product) {
    namespace fs = std::filesystem;
    const std::string usb = "devices/usb" + std::to_string(card);
    sysfs.Write(usb + "/idVendor", vendor + "\n");
    sysfs.Write(usb + "/idProduct", product + "\n");
    const std::string cardFolder = sysfs.File(usb + "/1-1:1.0/sound/card" + std::to_string(card));
    fs::create_directories(cardFolder);
    fs::create_directories(sysfs.File("class/sound"));
    fs::create_directory_symlink(sysfs.File(usb + "/1-1:1.0"), cardFolder + "/device");
    fs::create_directory_symlink(cardFolder, sysfs.File("class/sound/card" + std::to_string(card)));
}

}  // namespace m470::test
