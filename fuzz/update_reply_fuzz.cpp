// An answer of the update service (or of whatever sits in its place): read
// for the program, a mouse and a keyboard without crashing; a failed answer
// is never up to date, a read one compares the version it names; the
// download file name made of a name from outside never leaves its folder;
// the last-check file reads without crashing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "update/DownloadFolder.h"
#include "update/UpdateCheck.h"
#include "update/UpdateSettings.h"

using namespace m470;

namespace {

const UpdateEntry kEntries[] = {
    {kTypeProgram, 1, 210, "VANTRL", kProgramFirmwareId, "M470", "update_program_name", "V2.1.0"},
    {kTypeMouseClass, 1, 0x0105, "VANTRL", "M4A7B2C9", "M470", "mouse_device_name_text", ""},
    {kTypeKeyboardClass, 1, 0, "VANTRL", "K1B2C3D4", "K20", "keyboard_device_name_text", ""},
};

void CheckAnswer(const UpdateEntry& entry, const UpdateResult& result) {
    using namespace item_state;
    if (result.name != entry.listName) fuzz::Fail("the item lost its name");
    if (result.failed) {
        if (result.status != kNoInformation) fuzz::Fail("a failed answer gives a state");
        if (!result.url.empty() || !result.sha256.empty()) fuzz::Fail("a failed answer keeps a download");
        return;
    }
    if (result.status != kNeedsUpdate && result.status != kUpToDate) fuzz::Fail("a read answer gives another state");
    if (entry.type == kTypeProgram) return;
    // A product's newest version is shown as "V" and the hex digits the answer sent.
    if (result.newestText.size() < 2 || result.newestText[0] != 'V') fuzz::Fail("the newest version is not shown");
    const std::string digits = result.newestText.substr(1);
    char* end = nullptr;
    const unsigned long long newest = std::strtoull(digits.c_str(), &end, 16);
    // Leading zeros are allowed ("0106"), so only the value has to fit 32 bits.
    if (digits.empty() || *end != '\0' || newest > 0xFFFFFFFFull || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        fuzz::Fail("the newest version shown is no 32-bit hex number");
    if ((entry.installedVersion < newest) != (result.status == kNeedsUpdate))
        fuzz::Fail("the state does not follow the versions");
}

void CheckFileName(const std::string& name) {
    const std::string safe = DownloadFolder::SafeFileName(name);
    if (safe.empty() || safe == "." || safe == ".." || safe.find('/') != std::string::npos || safe.find('\0') != std::string::npos)
        fuzz::Fail("a download file name leaves its folder");
    if (name.size() > 0 && name != "." && name != ".." && safe.size() != name.size()) fuzz::Fail("a file name changed length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    // Exactly size bytes, no terminating zero: reading past the answer is caught.
    const char* answer = reinterpret_cast<const char*>(bytes);
    for (const UpdateEntry& entry : kEntries) CheckAnswer(entry, ReadAnswer(entry, answer, size));

    const std::string text(answer, size);
    VersionNumberOf(text);
    CheckFileName(text);

    const std::string folder = fuzz::EmptyFolder("update");
    fuzz::WriteFile(folder + "updatetime.config", bytes, size);
    const std::string date = ReadLastCheckDate(folder);
    if (!date.empty() && (!WriteLastCheckDate(folder, date) || ReadLastCheckDate(folder) != date))
        fuzz::Fail("the last-check date does not read back");
    return 0;
}
