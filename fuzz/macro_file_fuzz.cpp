// A macro catalogue and a macro file from outside: read without crashing,
// ids that would leave the folder are dropped, and the events build an image
// the device-side parser takes back unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "device_link/EventImage.h"
#include "macros/MacroFiles.h"
#include "platform/JsonFile.h"

using namespace m470;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string folder = fuzz::EmptyFolder("macros");
    // The same bytes serve as the catalogue and as the file of a macro.
    fuzz::WriteFile(folder + kMacroCatalogue, bytes, size);
    fuzz::WriteFile(folder + "macro1.mac", bytes, size);

    const std::vector<MacroEntry> catalogue = LoadMacroCatalogue(folder + kMacroCatalogue);
    if (MacroNames(catalogue).size() != catalogue.size()) fuzz::Fail("names and entries differ in count");
    std::vector<ImageEntry> entries{LoadMacroEvents(folder, "macro1")};
    for (const MacroEntry& entry : catalogue) {
        if (!entry.guid.empty() && !IsSafeFileId(entry.guid)) fuzz::Fail("an unsafe macro id was kept");
        if (!entry.guid.empty()) entries.push_back(LoadMacroEvents(folder, entry.guid));
    }
    const std::vector<uint8_t> image = BuildEventImage(entries);
    if (image.size() != EventImageLength(entries)) fuzz::Fail("the image is not as long as announced");
    std::vector<ImageEntry> parsed;
    // Past 64 KiB the 16-bit length cannot hold the image; the device never gets one that big.
    if (image.size() <= 0xFFFF && (!ParseEventImage(image.data(), image.size(), parsed) || parsed != entries))
        fuzz::Fail("the image does not read back as its events");
    return 0;
}
