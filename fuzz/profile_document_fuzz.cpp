// A profile file from outside (import, a damaged disk, another version):
// loading never crashes, what is saved reads back as the same section, and a
// second save writes the same bytes.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "profiles/BasicProfiledata.h"

using namespace m470;

namespace {

CBasicProfiledata Open(const std::string& path) {
    CBasicProfiledata data;
    data.SetDefaultPath(GetDefaultProfilePath("mouse"));
    data.SetProfilePath(path);
    data.LoadDeviceSection(path);
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string folder = fuzz::EmptyFolder("profile");
    const std::string path = folder + "2024_01_01_00_00_00_000.Json";
    fuzz::WriteFile(path, bytes, size);

    CBasicProfiledata data = Open(path);
    // Every record reader on what was read, then the edits a page makes.
    data.ReadAudioLightInfo();
    data.ReadLightList();
    data.ReadCustomEffects();
    data.WriteLightInfo(data.ReadLightInfo());
    data.WriteKeyList(data.ReadKeyList());
    data.WriteSecondaryKeyList(data.ReadSecondaryKeyList());
    if (!data.Save()) fuzz::Fail("a profile in a writable folder could not be saved");

    bool valid = false;
    ParseJson(fuzz::ReadFile(path), &valid);
    if (!valid) fuzz::Fail("the saved profile is not valid JSON");
    CBasicProfiledata again = Open(path);
    // Compared as text: a number kept unsigned in memory reads back signed, the same value.
    if (StyledJson(again.Section()) != StyledJson(data.Section())) fuzz::Fail("the saved section reads back different");
    const std::string saved = fuzz::ReadFile(path);
    if (!again.Save() || fuzz::ReadFile(path) != saved) fuzz::Fail("a second save changed the file");
    return 0;
}
