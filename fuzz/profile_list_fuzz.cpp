// A profile list (ProfileList.ini) from outside: the strip starts on it
// without crashing, leaves a valid list of capped names and safe ids, and
// starting again on what it left changes nothing.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "pages/DeviceProfileUI.h"
#include "profiles/ProfileFiles.h"
#include "ui/MemoryControlTree.h"

using namespace m470;

namespace {

struct Strip {
    ui::MemoryControlHost host;
    ui::MemoryControl* root = host.LoadLayout(GetInstallFolder() + "skin/deviceprofile.ui");

    void Start(const std::string& folder) {
        CDeviceProfileUI strip(host, root);
        strip.SetDeviceKind(DeviceKind::Mouse);
        strip.SetFolders(folder, GetDefaultProfilePath("mouse"));
        strip.InitProfiles();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    static Strip strip;
    if (strip.root == nullptr) fuzz::Fail("skin/deviceprofile.ui is missing beside the executable");
    const std::string folder = fuzz::EmptyFolder("mouse");
    const std::string listPath = folder + kProfileListFile;
    fuzz::WriteFile(listPath, bytes, size);
    // One profile file the list may or may not name.
    const char profile[] = R"({"profilename": "kept", "profileUUID": "2024_01_01_00_00_00_000"})";
    fuzz::WriteFile(folder + "2024_01_01_00_00_00_000.Json", reinterpret_cast<const uint8_t*>(profile), sizeof profile - 1);

    strip.Start(folder);
    bool valid = false;
    const Json::Value list = ParseJson(fuzz::ReadFile(listPath), &valid);
    if (!valid || !list.isObject() || !list["profilelist"].isArray()) fuzz::Fail("the list left behind is not a list");
    if (list["profilelist"].empty()) fuzz::Fail("the list left behind has no profile");
    for (const Json::Value& entry : list["profilelist"]) {
        const std::string name = JsonText(Member(entry, "profilename"));
        if (CapProfileName(name) != name) fuzz::Fail("a name longer than the cap was kept");
        if (!IsSafeFileId(JsonText(Member(entry, "profileUUID")))) fuzz::Fail("an unsafe profile id was kept");
    }
    const std::string left = fuzz::ReadFile(listPath);
    strip.Start(folder);
    if (fuzz::ReadFile(listPath) != left) fuzz::Fail("starting again on the repaired list changed it");
    return 0;
}
