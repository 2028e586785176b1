// m470ctl against the virtual products: a change made from the command
// line sends the bytes and writes the files a user's edit in the window
// does; a refusal, a bad value and a missing product are told with their
// exit status and leave the wire and the files alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>

#include "ctl/CtlExecutor.h"
#include "ctl/CtlSettings.h"
#include "ctl/HeadlessSession.h"
#include "device_link/CommandCodes.h"
#include "music/MusicStyles.h"
#include "pages/NoDevicePage.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::ctl {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;
using Requests = std::vector<std::vector<uint8_t>>;

Files FilesUnder(const std::string& folder) { return test::TempFolder::FilesUnder(folder); }

Requests RequestsOf(const VirtualDeviceHub& hub) {
    Requests requests;
    for (const TrafficEntry& entry : const_cast<VirtualDeviceHub&>(hub).Traffic().Entries())
        requests.emplace_back(entry.request.begin(), entry.request.end());
    return requests;
}

bool Sends(const Requests& requests, uint8_t command) {
    return std::any_of(requests.begin(), requests.end(), [command](const auto& r) { return r.size() > 3 && r[3] == command; });
}

class CtlSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(english.Load(GetInstallFolder() + "skin/lang/en.json"));
        runtime = folder.File("run");
        fs::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    // Points the user's data at a folder of its own.
    void UseDataFolder(const std::string& name) { ::setenv("XDG_DATA_HOME", folder.File(name).c_str(), 1); }
    std::string DataOf(const std::string& name) { return folder.File(name) + "/M470"; }

    // A session on fresh virtual products; the traffic of its start is cleared.
    std::unique_ptr<HeadlessSession> Start(VirtualDeviceHub& hub) {
        auto session = std::make_unique<HeadlessSession>(hub.Backend(), english);
        EXPECT_TRUE(session->Start());
        hub.Traffic().Clear();
        return session;
    }
    Reply Run(HeadlessSession& session, const std::vector<std::string>& words) {
        return CtlExecutor(session, english).Run(words);
    }
    CDevicePage* PageOfKind(HeadlessSession& session, DeviceKind kind) {
        for (CVantrelUSBDevice* device : session.Devices())
            if (device->Kind() == kind && session.Reachable(device)) return session.PageOf(device);
        return nullptr;
    }

    test::TempFolder folder;
    std::string runtime;
    LanguageTable english;
};

// What a user does on the page in the window, control by control.
void UserRaises(CDevicePage& page, const std::string& event, const std::string& name) {
    page.Route({event, page.Find(name).Get(), name, 0, 0});
}
void UserChoosesOption(CDevicePage& page, const std::string& prefix, int chosen) {
    for (int i = 0; page.Find(prefix + std::to_string(i)); ++i) page.Find(prefix + std::to_string(i)).SetSelected(i == chosen, false);
    UserRaises(page, "selectchanged", prefix + std::to_string(chosen));
}

struct SameChange {
    std::vector<std::string> words;
    DeviceKind kind;
    std::function<void(CDevicePage&)> user;
    bool asks = false;  // the window asks first, and the user confirms
};

// The window's answers when the user confirms: the page is the one shown,
// and a reset puts the music styles back as the window's reset does.
class Confirming : public PageContext {
public:
    bool Confirm(const std::string&) override { return true; }
    void Notice(const std::string&) override {}
    void NoticeNumber(const std::string&, int) override {}
    std::optional<std::string> ChooseOpenFile(const std::string&) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(const std::string&) override { return std::nullopt; }
    bool Shown(const CVantrelUSBDevice&) const override { return true; }
    void ProfileChosen(CVantrelUSBDevice&) override {}
    void SameMode(CVantrelUSBDevice&) override {}
    void ResetMusicStyles() override {
        AudioDocument(GetAppDataFolder() + kAudioFileName, GetDefaultDataFolder() + kAudioFileName).ResetAudioFile();
    }
};

TEST_F(CtlSession, AChangeSendsTheBytesAndWritesTheFilesOfTheSameEditInTheWindow) {
    const std::vector<SameChange> changes{
        {{"mouse", "set", "dpi", "2", "1600"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("DPI_edit_1").SetText("1600");
             UserRaises(page, "killfocus", "DPI_edit_1");
         }},
        {{"mouse", "set", "report-rate", "500"}, DeviceKind::Mouse,
         [](CDevicePage& page) { UserChoosesOption(page, "polling_rate_option_", 2); }},
        {{"mouse", "set", "stage", "4"}, DeviceKind::Mouse,
         [](CDevicePage& page) { UserChoosesOption(page, "DPI_select_check_", 3); }},
        {{"mouse", "set", "brightness", "1"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("deng_light_slider").SetValue(1, false);
             UserRaises(page, "valuechanged", "deng_light_slider");
         }},
        // The keyboard's mode as read shows a colour (the mouse's does not).
        {{"keyboard", "set", "colour", "00ff80"}, DeviceKind::Keyboard,
         [](CDevicePage& page) {
             page.Find("deng_Color_Pallet").SetBkColour(0xFF00FF80);
             UserRaises(page, "colorchanged", "deng_Color_Pallet");
         }},
        {{"mouse", "set", "mode", "static"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("light_combo_modeSelect").SelectItem(2, false);
             UserRaises(page, "itemselect", "light_combo_modeSelect");
         }},
        {{"mouse", "set", "speed", "4"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("deng_speed_slider").SetValue(4, false);
             UserRaises(page, "valuechanged", "deng_speed_slider");
         }},
        {{"mouse", "set", "stage-enabled", "5", "off"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("DPI_enable_check_4").SetSelected(false, false);
             UserRaises(page, "selectchanged", "DPI_enable_check_4");
         }},
        {{"mouse", "set", "pointer-speed", "15"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("pointer_speed_slider").SetValue(15, false);
             UserRaises(page, "valuechanged", "pointer_speed_slider");
         }},
        {{"keyboard", "set", "repeat-rate", "30"}, DeviceKind::Keyboard,
         [](CDevicePage& page) {
             page.Find("repeat_rate_slider").SetValue(30, false);
             UserRaises(page, "valuechanged", "repeat_rate_slider");
         }},
        {{"keyboard", "set", "direction", "left"}, DeviceKind::Keyboard,
         [](CDevicePage& page) {
             page.Find("deng_FXL_check").SetSelected(true, false);
             UserRaises(page, "selectchanged", "deng_FXL_check");
         }},
        {{"keyboard", "set", "repeat-delay", "750"}, DeviceKind::Keyboard,
         [](CDevicePage& page) { UserChoosesOption(page, "repeat_delay_check_", 2); }},
        {{"keyboard", "set", "report-rate", "250"}, DeviceKind::Keyboard,
         [](CDevicePage& page) { UserChoosesOption(page, "polling_rate_option_", 1); }},
        {{"mouse", "set", "scroll-lines", "7"}, DeviceKind::Mouse,
         [](CDevicePage& page) {
             page.Find("scroll_speed_slider").SetValue(7, false);
             UserRaises(page, "valuechanged", "scroll_speed_slider");
         }},
        {{"mouse", "profile", "reset"}, DeviceKind::Mouse,
         [](CDevicePage& page) { UserRaises(page, "click", "device_reset_btn"); }, true},
        {{"keyboard", "profile", "reset"}, DeviceKind::Keyboard,
         [](CDevicePage& page) { UserRaises(page, "click", "device_reset_btn"); }, true},
        {{"keyboard", "set", "win-lock", "on"}, DeviceKind::Keyboard,
         [](CDevicePage& page) {
             page.Find("winlockflag_option").SetSelected(true, false);
             UserRaises(page, "selectchanged", "winlockflag_option");
         }},
    };
    // Both runs start from the same files (the profile ids are in them),
    // away from the factory settings so that a reset changes something.
    UseDataFolder("base");
    {
        VirtualDeviceHub hub;
        hub.PlugAll({"mouse", "keyboard"});
        auto session = Start(hub);
        ASSERT_EQ(Run(*session, {"mouse", "set", "dpi", "3", "2000"}).exitCode, kExitDone);
        ASSERT_EQ(Run(*session, {"keyboard", "set", "repeat-rate", "10"}).exitCode, kExitDone);
    }
    for (const SameChange& change : changes) {
        const std::string name = change.words[0] + " " + change.words[2];
        fs::remove_all(folder.File("ctl"));
        fs::remove_all(folder.File("user"));
        fs::copy(folder.File("base"), folder.File("ctl"), fs::copy_options::recursive);
        fs::copy(folder.File("base"), folder.File("user"), fs::copy_options::recursive);

        UseDataFolder("ctl");
        VirtualDeviceHub ctlHub;
        ctlHub.PlugAll({"mouse", "keyboard"});
        auto ctlSession = Start(ctlHub);
        const Reply reply = Run(*ctlSession, change.words);
        EXPECT_EQ(reply.exitCode, kExitDone) << name << ": " << reply.err;
        const Requests ctlRequests = RequestsOf(ctlHub);
        ctlSession.reset();

        UseDataFolder("user");
        VirtualDeviceHub userHub;
        userHub.PlugAll({"mouse", "keyboard"});
        auto userSession = Start(userHub);
        CDevicePage* page = PageOfKind(*userSession, change.kind);
        ASSERT_NE(page, nullptr) << name;
        Confirming confirming;
        if (change.asks) userSession->PageContexts().Redirect(&confirming);
        page->Lighting();  // the user edits it on its tab, loaded at its first show
        change.user(*page);
        userSession->PageContexts().Redirect(nullptr);
        const Requests userRequests = RequestsOf(userHub);
        userSession.reset();

        EXPECT_EQ(ctlRequests, userRequests) << name;
        EXPECT_NE(FilesUnder(DataOf("user")), FilesUnder(DataOf("base"))) << name << ": the edit was not saved";
        EXPECT_EQ(FilesUnder(DataOf("ctl")), FilesUnder(DataOf("user"))) << name;
    }
}

TEST_F(CtlSession, AKeyFunctionGoesIntoTheProfileAndTheKeyTable) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard"});
    auto session = Start(hub);
    Reply reply = Run(*session, {"mouse", "set", "key", "forward", "Page_Up"});
    ASSERT_EQ(reply.exitCode, kExitDone) << reply.err;
    EXPECT_EQ(reply.out, "Page Up\n");
    EXPECT_TRUE(Sends(RequestsOf(hub), command::kWriteKeyTable));
    EXPECT_EQ(Run(*session, {"mouse", "get", "key", "4"}).out, "Page Up\n");  // Forward is the fourth button
    CDevicePage* mouse = PageOfKind(*session, DeviceKind::Mouse);
    const Json::Value profile = LoadJson(mouse->Device().GetProfilePath());
    // Page Up: keyboard key (0x20), no modifier, usage 0x4B.
    EXPECT_EQ(JsonInteger(Member(Element(Member(Element(Member(profile, "Device"), 0), "KeyList"), 3), "Assignment")), 0x20004B);

    hub.Traffic().Clear();
    reply = Run(*session, {"keyboard", "set", "key", "Caps Lock", "esc"});
    EXPECT_EQ(reply.exitCode, kExitDone) << reply.err;
    EXPECT_TRUE(Sends(RequestsOf(hub), command::kWriteKeyTable));
    EXPECT_EQ(Run(*session, {"keyboard", "get", "key", "caplk"}).out, "Esc\n");
    // The keyboard offers no sensitivity functions.
    EXPECT_EQ(Run(*session, {"keyboard", "set", "key", "A", "DPI +"}).exitCode, kExitUsage);
}

TEST_F(CtlSession, TheWindowsRulesHoldOnTheCommandLineToo) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    const Files before = FilesUnder(DataOf("data"));
    // The mouse keeps a left button.
    Reply reply = Run(*session, {"mouse", "set", "key", "1", "Page Up"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("This is the last left button"), std::string::npos) << reply.err;
    EXPECT_TRUE(reply.out.empty());
    // A stage out of the cycle is not made the active one.
    ASSERT_EQ(Run(*session, {"mouse", "set", "stage-enabled", "5", "off"}).exitCode, kExitDone);
    hub.Traffic().Clear();
    const Files offFive = FilesUnder(DataOf("data"));
    EXPECT_NE(offFive, before);
    reply = Run(*session, {"mouse", "set", "stage", "5"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("stage 5 is switched off"), std::string::npos) << reply.err;
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}).out, "2\n");
    EXPECT_TRUE(RequestsOf(hub).empty());
    EXPECT_EQ(FilesUnder(DataOf("data")), offFive);
    // Once the left function is on a second button, the first may go.
    ASSERT_EQ(Run(*session, {"mouse", "set", "key", "5", "Left Button"}).exitCode, kExitDone);
    EXPECT_EQ(Run(*session, {"mouse", "set", "key", "1", "Page Up"}).exitCode, kExitDone);
}

TEST_F(CtlSession, AProfileOfAnotherProductIsNotImported) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard"});
    auto session = Start(hub);
    const std::string mouseFile = folder.File("mouse.json"), keyboardFile = folder.File("keys.json");
    ASSERT_EQ(Run(*session, {"mouse", "profile", "export", mouseFile}).out, mouseFile + "\n");
    ASSERT_EQ(Run(*session, {"keyboard", "profile", "export", keyboardFile}).exitCode, kExitDone);
    const Files before = FilesUnder(DataOf("data"));
    Reply reply = Run(*session, {"keyboard", "profile", "import", mouseFile});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("not a profile of this device"), std::string::npos) << reply.err;
    EXPECT_EQ(Run(*session, {"mouse", "profile", "import", keyboardFile}).exitCode, kExitRefused);
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
    // Its own exports come back.
    EXPECT_EQ(Run(*session, {"keyboard", "profile", "import", keyboardFile}).out, "keys\n");
    EXPECT_EQ(Run(*session, {"mouse", "profile", "import", mouseFile}).out, "mouse\n");
    // A folder is no file to export to or import from.
    EXPECT_EQ(Run(*session, {"mouse", "profile", "export", folder.Path()}).exitCode, kExitUsage);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "import", folder.Path()}).exitCode, kExitUsage);
}

// A device or a pipe named as the file: refused with one message, nothing
// read from it and nothing written beside it.
TEST_F(CtlSession, ImportAndExportTakeOnlyARegularFile) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    const std::string pipe = folder.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const Files before = FilesUnder(DataOf("data"));
    const std::string refusal = "m470ctl: " + english.Text("profile_path_not_a_file") + "\n";
    for (const std::string& path : {std::string("/dev/zero"), pipe}) {
        const Reply reply = Run(*session, {"mouse", "profile", "import", path});
        EXPECT_EQ(reply.exitCode, kExitRefused) << path;
        EXPECT_EQ(reply.err, refusal) << path;
    }
    const Reply reply = Run(*session, {"mouse", "profile", "export", pipe});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_EQ(reply.err, refusal);
    EXPECT_FALSE(fs::exists(pipe + ".json"));
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
    // ".json" goes only onto a name without an extension.
    fs::create_directories(folder.File("aim.v2"));
    EXPECT_EQ(Run(*session, {"mouse", "profile", "export", folder.File("aim.v2/best")}).out, folder.File("aim.v2/best.json") + "\n");
    EXPECT_EQ(Run(*session, {"mouse", "profile", "export", folder.File("best.profile")}).out, folder.File("best.profile") + "\n");
    EXPECT_TRUE(fs::is_regular_file(folder.File("best.profile")));
}

// Past a file-size limit a new profile's file cannot be written: the list
// gains no entry without its file, and the run says the save failed.
TEST_F(CtlSession, AProfileWhoseFileCannotBeWrittenIsNotListed) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    const std::string mouseFolder = DataOf("data") + "/mouse/";
    const std::string listBefore = test::TempFolder::ReadFile(mouseFolder + "ProfileList.ini");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;  // the list fits, a mouse profile does not
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Reply reply = Run(*session, {"mouse", "profile", "new"});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_EQ(test::TempFolder::ReadFile(mouseFolder + "ProfileList.ini"), listBefore);
    const Json::Value list = LoadJson(mouseFolder + "ProfileList.ini");
    for (const Json::Value& entry : list["profilelist"])
        EXPECT_TRUE(fs::exists(mouseFolder + entry["profileUUID"].asString() + ".Json")) << entry["profilename"].asString();
    EXPECT_EQ(Run(*session, {"mouse", "profile", "list"}).out, "* 1 profile1\n");
    // With room again the same command adds it.
    EXPECT_EQ(Run(*session, {"mouse", "profile", "new"}).out, "profile2\n");
}

TEST_F(CtlSession, BadValuesSendNothingAndChangeNoFile) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard"});
    auto session = Start(hub);
    const Files before = FilesUnder(DataOf("data"));
    const std::vector<std::vector<std::string>> refused{
        {"mouse", "set", "dpi", "7", "800"},       {"mouse", "set", "dpi", "2", "-5"},
        {"mouse", "set", "report-rate", "300"},    {"mouse", "set", "mode", "disco"},
        {"mouse", "set", "colour", "12345"},       {"mouse", "set", "colour", "GG0000"},
        {"mouse", "set", "brightness", "9"},       {"mouse", "set", "pointer-precision", "maybe"},
        {"mouse", "set", "stage-enabled", "2", "off"},  // the active stage stays in the cycle
        {"mouse", "set", "key", "13", "A"},        {"keyboard", "set", "key", "A", "no such function"},
        {"mouse", "profile", "use", "nobody"},     {"mouse", "get", "dpi", "0"},
    };
    for (const auto& words : refused) {
        const Reply reply = Run(*session, words);
        EXPECT_EQ(reply.exitCode, kExitUsage) << words[2] << " " << words.back();
        EXPECT_FALSE(reply.err.empty());
    }
    EXPECT_TRUE(RequestsOf(hub).empty());
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
}

// A number outside a setting's range is bad usage naming the range, never
// taken to the nearest end: nothing is sent and no file changes.
TEST_F(CtlSession, ANumberOutsideItsRangeIsRefusedWithTheRange) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard", "mousepad", "headset"});
    auto session = Start(hub);
    const Files before = FilesUnder(DataOf("data"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{"mouse", "set", "dpi", "2", "99999"}, "dpi is a number from 100 to 15900"},
        {{"mouse", "set", "dpi", "2", "15901"}, "dpi is a number from 100 to 15900"},
        {{"mouse", "set", "dpi", "2", "99"}, "dpi is a number from 100 to 15900"},
        {{"mouse", "set", "dpi", "2", "1e3"}, "dpi is a number from 100 to 15900"},
        {{"mouse", "set", "pointer-speed", "0"}, "pointer-speed is a number from 1 to 20"},
        {{"mouse", "set", "double-click", "21"}, "double-click is a number from 1 to 20"},
        {{"keyboard", "set", "repeat-rate", "41"}, "repeat-rate is a number from 0 to 40"},
        {{"mousepad", "set", "brightness", "5"}, "brightness is a number from 0 to 4"},
        {{"headset", "set", "mic-volume", "101"}, "mic-volume is a number from 0 to 100"},
    };
    for (const auto& [words, range] : refused) {
        const Reply reply = Run(*session, words);
        EXPECT_EQ(reply, (Reply{kExitUsage, "", "m470ctl: " + range + "\n"})) << words[2] << " " << words.back();
    }
    EXPECT_TRUE(RequestsOf(hub).empty());
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
    // The ends themselves are taken.
    EXPECT_EQ(Run(*session, {"mouse", "set", "dpi", "2", "15900"}).out, "15900\n");
    EXPECT_EQ(Run(*session, {"mouse", "set", "dpi", "3", "100"}).out, "100\n");
    EXPECT_TRUE(Sends(RequestsOf(hub), command::kWriteSettings));
    // The ranges the panels take are those of their sliders, on every product.
    const std::map<std::string, std::string> sliders{
        {"pointer-speed", "pointer_speed_slider"}, {"scroll-lines", "scroll_speed_slider"},
        {"double-click", "double_click_slider"},   {"repeat-rate", "repeat_rate_slider"},
        {"brightness", "deng_light_slider"},       {"speed", "deng_speed_slider"},
        {"mic-volume", "6533_MicIn_slider"},       {"monitor-volume", "6533_MicMoniter_slider"},
    };
    size_t checked = 0;
    for (CVantrelUSBDevice* device : session->Devices()) {
        CDevicePage* page = session->PageOf(device);
        ASSERT_NE(page, nullptr);
        if (device->Kind() == DeviceKind::Headset) page->ShowOptionTab(6);  // its audio tab, loaded at its first show
        page->Lighting();  // the same for the lighting tab
        for (const SettingRow* row : SettingsOf(device->Kind())) {
            if (row->range == nullptr) continue;
            ASSERT_TRUE(sliders.contains(row->name)) << row->name;
            const ui::Control* slider = page->Find(sliders.at(row->name)).Get();
            ASSERT_NE(slider, nullptr) << row->name;
            const ValueRange range = row->range();
            EXPECT_EQ(std::pair(slider->Minimum(), slider->Maximum()), std::pair(range.low, range.high)) << row->name;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 14u);  // mouse 5, keyboard 3, pad 2, headset 4
}

// A lighting setting the current mode does not take (the panel switches it
// off) is bad usage with the mode named; nothing is sent or saved.
TEST_F(CtlSession, ASettingTheLightingModeDoesNotTakeIsExitTwo) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard", "mousepad"});
    auto session = Start(hub);
    ASSERT_EQ(Run(*session, {"mouse", "set", "mode", "static"}).exitCode, kExitDone);
    ASSERT_EQ(Run(*session, {"keyboard", "set", "mode", "still rows"}).exitCode, kExitDone);
    ASSERT_EQ(Run(*session, {"mousepad", "set", "mode", "off"}).exitCode, kExitDone);
    hub.Traffic().Clear();
    const Files before = FilesUnder(DataOf("data"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{"mouse", "set", "speed", "3"}, "speed does not apply to the lighting mode Static"},
        {{"mouse", "set", "direction", "left"}, "direction does not apply to the lighting mode Static"},
        {{"keyboard", "set", "speed", "3"}, "speed does not apply to the lighting mode Still rows"},
        {{"mousepad", "set", "brightness", "2"}, "brightness does not apply to the lighting mode Off"},
        {{"mousepad", "set", "colour", "FF0000"}, "colour does not apply to the lighting mode Off"},
    };
    for (const auto& [words, why] : refused) {
        const Reply reply = Run(*session, words);
        EXPECT_EQ(reply, (Reply{kExitUsage, "", "m470ctl: " + why + "\n"})) << words[0] << " " << words[2];
    }
    EXPECT_TRUE(RequestsOf(hub).empty());
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
    // What the mode takes goes through; a moving mode takes speed again.
    EXPECT_EQ(Run(*session, {"mouse", "set", "brightness", "2"}).exitCode, kExitDone);
    ASSERT_EQ(Run(*session, {"mouse", "set", "mode", "wave"}).exitCode, kExitDone);
    EXPECT_EQ(Run(*session, {"mouse", "set", "speed", "3"}).out, "3\n");
}

TEST_F(CtlSession, ARefusedWriteIsExitOneWithTheWindowsMessage) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    ASSERT_TRUE(hub.InjectFault("mouse", command::kWriteSettings, 1));
    const Reply reply = Run(*session, {"mouse", "set", "report-rate", "250"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("Writing to the device failed."), std::string::npos) << reply.err;
    // The next one goes through.
    EXPECT_EQ(Run(*session, {"mouse", "set", "report-rate", "125"}).exitCode, kExitDone);
}

TEST_F(CtlSession, AProductNotConnectedIsTold) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    Reply reply = Run(*session, {"keyboard", "get"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("no keyboard is connected"), std::string::npos);
    EXPECT_EQ(Run(*session, {"mouse2", "get", "stage"}).exitCode, kExitRefused);
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}).exitCode, kExitDone);
    // Unplugged while the session runs: the product is gone for the next command.
    hub.Unplug("mouse");
    session->Run(200);
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}).exitCode, kExitRefused);
}

TEST_F(CtlSession, ListTellsLinkBatteryFirmwareAndTheCurrentProfile) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard"});
    ASSERT_EQ(hub.RunCommand("battery mouse 57 0"), "");
    auto session = Start(hub);
    const Reply reply = Run(*session, {"--json", "list"});
    ASSERT_EQ(reply.exitCode, kExitDone);
    bool ok = false;
    const Json::Value list = ParseJson(reply.out, &ok);
    ASSERT_TRUE(ok) << reply.out;
    ASSERT_EQ(list.size(), 2u);
    const Json::Value& mouse = list[0u]["product"] == "mouse" ? list[0u] : list[1u];
    EXPECT_EQ(mouse["battery"].asInt(), 57);
    EXPECT_EQ(mouse["link"].asString(), "cable");
    EXPECT_EQ(mouse["profile"].asString(), "profile1");
    EXPECT_NE(mouse["firmware"].asString(), "-");
    const Json::Value& keyboard = list[0u]["product"] == "keyboard" ? list[0u] : list[1u];
    EXPECT_TRUE(keyboard["battery"].isNull());
}

// With no window, list and get open the products, read them and write
// nothing: from the scan to the end of the run only reads go out.
TEST_F(CtlSession, ListAndGetWithNoWindowSendOnlyReads) {
    using namespace command;
    const std::set<uint8_t> reads{kBeginConfig, kEndConfig, kReadDeviceInfo, kReadSettings, kReadKeyTable,
                                  kReadPagedBlock, kReadShort, kReadKeyTableThird, kQueryLink};
    for (const std::vector<std::string>& plugged : {std::vector<std::string>{"mouse", "keyboard", "mousepad", "headset"},
                                                    std::vector<std::string>{"mouse-receiver", "keyboard-receiver"}}) {
        UseDataFolder("data-" + plugged[0]);
        VirtualDeviceHub hub;
        hub.PlugAll(plugged);
        {
            HeadlessSession session(hub.Backend(), english);
            ASSERT_TRUE(session.Start());
            EXPECT_EQ(Run(session, {"list"}).exitCode, kExitDone);
            for (const char* product : {"mouse", "keyboard", "mousepad", "headset"}) {
                if (product == std::string("mousepad") && plugged.size() == 2) break;
                EXPECT_EQ(Run(session, {product, "get"}).exitCode, kExitDone) << product;
                EXPECT_EQ(Run(session, {"--json", product, "get"}).exitCode, kExitDone) << product;
            }
            EXPECT_EQ(Run(session, {"mouse", "get", "dpi", "2"}).exitCode, kExitDone);
            EXPECT_EQ(Run(session, {"mouse", "profile", "list"}).exitCode, kExitDone);
        }
        const std::vector<TrafficEntry> traffic = hub.Traffic().Entries();
        EXPECT_FALSE(traffic.empty()) << "the products were read";
        for (const TrafficEntry& entry : traffic) {
            if (entry.viaControlPipe) continue;  // the headset's LED frames are no command
            EXPECT_TRUE(reads.count(entry.request[3]))
                << entry.interfaceName << ": command 0x" << std::hex << int(entry.request[3]) << " was sent";
        }
    }
}

// The value a get tells, read from the page's controls as a user sees them;
// nothing where the page shows none (a direction pair with neither chosen).
std::optional<std::string> Shown(CDevicePage& page, const SettingRow& row, int stage, const LanguageTable& english) {
    const auto on = [&page](const std::string& name) { return std::string(page.Find(name).Selected() ? "on" : "off"); };
    const auto chosen = [&page](const std::string& prefix) {
        for (int i = 0; page.Find(prefix + std::to_string(i)); ++i)
            if (page.Find(prefix + std::to_string(i)).Selected()) return page.Find(prefix + std::to_string(i)).Text();
        return std::string("none");
    };
    const std::string name = row.name, index = std::to_string(stage);
    const std::map<std::string, std::string> sliders{
        {"pointer-speed", "pointer_speed_slider"}, {"scroll-lines", "scroll_speed_slider"}, {"double-click", "double_click_slider"},
        {"repeat-rate", "repeat_rate_slider"},     {"brightness", "deng_light_slider"},     {"speed", "deng_speed_slider"},
        {"mic-volume", "6533_MicIn_slider"},       {"monitor-volume", "6533_MicMoniter_slider"}};
    const std::map<std::string, std::string> checks{
        {"pointer-precision", "pointer_precision_check"}, {"scroll-page", "scrolls_page_check"}, {"six-key", "6flag_option"},
        {"wasd", "wflag_option"}, {"win-lock", "winlockflag_option"}, {"mic", "6533_MicIn_option"}, {"monitor", "6533_MicMoniter_option"}};
    if (sliders.contains(name)) return std::to_string(page.Find(sliders.at(name)).Value());
    if (checks.contains(name)) return on(checks.at(name));
    if (name == "dpi") return page.Find("DPI_edit_" + index).Text();
    if (name == "stage-enabled") return on("DPI_enable_check_" + index);
    if (name == "stage") {
        for (int i = 0; i < 6; ++i)
            if (page.Find("DPI_select_check_" + std::to_string(i)).Selected()) return std::to_string(i + 1);
        return "none";
    }
    if (name == "report-rate") return chosen("polling_rate_option_").substr(0, chosen("polling_rate_option_").find(' '));
    if (name == "repeat-delay") return chosen("repeat_delay_check_").substr(0, chosen("repeat_delay_check_").find(' '));
    if (name == "direction") {
        if (!page.Find("deng_FXL_check").Selected() && !page.Find("deng_FXR_check").Selected()) return std::nullopt;
        return page.Find("deng_FXL_check").Selected() ? "left" : "right";
    }
    if (name == "colour") {
        char text[8];
        std::snprintf(text, sizeof text, "%06X", page.Find("deng_Color_Pallet").BkColour() & 0xFFFFFFu);
        return text;
    }
    if (name == "mode") {
        const ui::Control* combo = page.Find("light_combo_modeSelect").Get();
        const int row = combo->SelectedItem();
        return english.Text(combo->ItemData(row).empty() ? combo->ItemText(row) : combo->ItemData(row));
    }
    return "?";
}

// A get tells what the page shows, after edits in the window and on the command line alike.
TEST_F(CtlSession, AGetTellsWhatThePageShows) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse", "keyboard", "mousepad", "headset"});
    auto session = Start(hub);
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"mouse", "set", "dpi", "3", "2400"}, {"mouse", "set", "stage-enabled", "5", "off"}, {"mouse", "set", "mode", "wave"},
             {"mouse", "set", "direction", "left"}, {"keyboard", "set", "repeat-delay", "500"}, {"headset", "set", "mic", "off"},
             {"mousepad", "set", "mode", "static"}, {"mousepad", "set", "colour", "12AB34"}, {"keyboard", "set", "wasd", "on"}})
        ASSERT_EQ(Run(*session, words).exitCode, kExitDone) << words[2];
    CDevicePage* mouse = PageOfKind(*session, DeviceKind::Mouse);
    ASSERT_NE(mouse, nullptr);
    mouse->Find("scroll_speed_slider").SetValue(9, false);
    UserRaises(*mouse, "valuechanged", "scroll_speed_slider");
    UserChoosesOption(*mouse, "DPI_select_check_", 2);
    // The headset's audio tab, loaded at its first show, shows what was set before it was there.
    CDevicePage* headset = PageOfKind(*session, DeviceKind::Headset);
    ASSERT_NE(headset, nullptr);
    EXPECT_FALSE(headset->Find("6533_MicIn_option"));
    headset->ShowOptionTab(6);
    size_t compared = 0;
    for (CVantrelUSBDevice* device : session->Devices()) {
        CDevicePage* page = session->PageOf(device);
        ASSERT_NE(page, nullptr);
        page->Lighting();  // a get of the lighting loaded it; its tab shows the same
        for (const SettingRow* row : SettingsOf(device->Kind())) {
            if (row->index == SettingIndex::Key) continue;
            for (int stage = 0; stage < (row->index == SettingIndex::Stage ? 6 : 1); ++stage) {
                const std::string index = row->index == SettingIndex::Stage ? std::to_string(stage + 1) : "";
                const std::optional<std::string> shown = Shown(*page, *row, stage, english);
                if (!shown) continue;
                EXPECT_EQ(ReadSetting(*row, *page, index, english).value, *shown) << device->DeviceName() << " " << row->name << " " << index;
                ++compared;
            }
        }
    }
    // The keyboard's page shows no direction until its lighting is edited; a get tells the one
    // kept (and written), where it used to read "right" off the empty pair. The headset's
    // lighting, loaded here after the headset was read, shows the one read.
    EXPECT_EQ(compared, 24u + 10u + 4u + 9u);  // mouse, keyboard, pad, headset
    EXPECT_EQ(Run(*session, {"mousepad", "get", "direction"}).out, "left\n");
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}).out, "3\n");
    EXPECT_EQ(Run(*session, {"mouse", "get", "scroll-lines"}).out, "9\n");
}

size_t SettingsWrites(const Requests& requests) {
    return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                             [](const auto& r) { return r.size() > 3 && r[3] == command::kWriteSettings; }));
}

// Two quick profile choices apply once, the later one; a request's choice is
// the later one and applies at once, so a choice still waiting is dropped.
TEST_F(CtlSession, AQuickProfileChoiceAppliesOnceTheLaterOne) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    ASSERT_EQ(Run(*session, {"mouse", "profile", "new"}).out, "profile2\n");
    CDevicePage* page = PageOfKind(*session, DeviceKind::Mouse);
    ASSERT_NE(page, nullptr);
    const auto choose = [page](int row) {
        page->Find("device_profile_combo").SelectItem(row, false);
        UserRaises(*page, "itemselect", "device_profile_combo");
    };
    // One choice: nothing is written while it waits, then it is applied.
    hub.Traffic().Clear();
    choose(0);
    EXPECT_TRUE(RequestsOf(hub).empty());
    session->Run(QuickProfileChoice::kSettleMs + 100);
    const size_t once = SettingsWrites(RequestsOf(hub));
    ASSERT_GT(once, 0u);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "list"}).out, "* 1 profile1\n  2 profile2\n");
    // Two quick choices: written as often as one, the later one's.
    hub.Traffic().Clear();
    choose(1);
    choose(0);
    session->Run(QuickProfileChoice::kSettleMs + 100);
    EXPECT_EQ(SettingsWrites(RequestsOf(hub)), once);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "list"}).out, "* 1 profile1\n  2 profile2\n");
    // A request after a choice still waiting: only the request's is applied.
    choose(0);
    hub.Traffic().Clear();
    ASSERT_EQ(Run(*session, {"mouse", "profile", "use", "2"}).exitCode, kExitDone);
    EXPECT_EQ(SettingsWrites(RequestsOf(hub)), once);
    hub.Traffic().Clear();
    session->Run(QuickProfileChoice::kSettleMs + 100);
    EXPECT_EQ(SettingsWrites(RequestsOf(hub)), 0u) << "the earlier choice was dropped";
    EXPECT_EQ(Run(*session, {"mouse", "profile", "list"}).out, "  1 profile1\n* 2 profile2\n");
}

TEST_F(CtlSession, ProfilesAreManagedAsTheStripDoes) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    hub.PlugAll({"mouse"});
    auto session = Start(hub);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "new"}).out, "profile2\n");
    EXPECT_EQ(Run(*session, {"mouse", "profile", "use", "PROFILE2"}).exitCode, kExitDone);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "list"}).out, "  1 profile1\n* 2 profile2\n");
    hub.Traffic().Clear();
    EXPECT_EQ(Run(*session, {"mouse", "profile", "use", "1"}).exitCode, kExitDone);
    EXPECT_TRUE(Sends(RequestsOf(hub), command::kWriteSettings)) << "a profile made current is written to the mouse";

    // A name in use is refused with the window's message; nothing changes.
    const Files before = FilesUnder(DataOf("data"));
    Reply reply = Run(*session, {"mouse", "profile", "rename", "Profile2"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("A profile with this name exists already."), std::string::npos) << reply.err;
    EXPECT_EQ(FilesUnder(DataOf("data")), before);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "rename", "Work"}).out, "Work\n");

    // Export writes the current profile as it is; import adds it under its file's name.
    const std::string exported = folder.File("Saved Work.json");
    ASSERT_EQ(Run(*session, {"mouse", "profile", "export", exported}).exitCode, kExitDone);
    const std::string current = PageOfKind(*session, DeviceKind::Mouse)->Device().GetProfilePath();
    EXPECT_EQ(test::TempFolder::ReadFile(exported), test::TempFolder::ReadFile(current));
    EXPECT_EQ(Run(*session, {"mouse", "profile", "import", exported}).out, "Saved Work\n");
    folder.Write("broken.json", "{ not json");
    reply = Run(*session, {"mouse", "profile", "import", folder.File("broken.json")});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_EQ(Run(*session, {"--json", "mouse", "profile", "list"}).out.find("broken"), std::string::npos);
    reply = Run(*session, {"mouse", "profile", "export", folder.File("no such folder/x.json")});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_NE(reply.err.find("x.json\u201d could not be saved: the folder does not exist."), std::string::npos) << reply.err;

    // Down to one profile, the last is kept.
    EXPECT_EQ(Run(*session, {"mouse", "profile", "delete"}).exitCode, kExitDone);
    EXPECT_EQ(Run(*session, {"mouse", "profile", "delete"}).exitCode, kExitDone);
    reply = Run(*session, {"mouse", "profile", "delete"});
    EXPECT_EQ(reply.exitCode, kExitRefused);
    EXPECT_EQ(Member(LoadJson(DataOf("data") + "/mouse/ProfileList.ini"), "profilelist").size(), 1u);
}

// A product whose node the user may not open (no udev rule yet) is named
// with its node and the fix: on the no-device page, in m470ctl's answers
// (exit 1) and in the trace; once the node opens, all is as usual.
TEST_F(CtlSession, AProductWhoseNodeIsRefusedIsToldWithItsNodeAndTheFix) {
    UseDataFolder("data");
    VirtualDeviceHub hub;
    ASSERT_EQ(hub.RunCommand("deny mouse"), "");
    hub.PlugAll({"mouse"});
    DebugTrace::Clear();
    auto session = Start(hub);
    const std::string refusal = "Gaming Mouse found at /virtual/hidraw0, but permission to open it was refused.";
    const std::string fix = "Install the udev rule /usr/lib/udev/rules.d/60-m470.rules (the package installs it; from a "
                            "build, copy packaging/60-m470.rules of the build folder there), then unplug and replug the product.";
    EXPECT_TRUE(hub.Traffic().Entries().empty());
    EXPECT_TRUE(DebugTrace::Contains(refusal)) << "told once in the trace, with the fix";

    // The window's page: what it looks for, the refusal and its fix, the virtual products.
    ui::MemoryControlHost& host = session->Host();
    EXPECT_TRUE(ui::Ctl(host.Find("No_device_Link")).Visible());
    EXPECT_EQ(ui::Ctl(host.Find("nodevice_hint_label")).Text(),
              "Looking for a product of the M470 family: Keyboard, Gaming Mouse, RGB Mousepad, Headset, by USB cable or "
              "through its receiver.");
    EXPECT_TRUE(ui::Ctl(host.Find("nodevice_refused_label")).Visible());
    EXPECT_EQ(ui::Ctl(host.Find("nodevice_refused_label")).Text(), refusal + "\n" + fix);
    LanguageTable chinese;
    ASSERT_TRUE(chinese.Load(GetInstallFolder() + "skin/lang/zh.json"));
    ShowNoDevicePage(host, session->Manager()->Products(), session->Refused(),
                     [&chinese](std::string_view key) { return chinese.Text(std::string(key)); });
    EXPECT_EQ(ui::Ctl(host.Find("nodevice_refused_label")).Text().rfind("已找到游戏鼠标（/virtual/hidraw0），但打开它的权限被拒绝。\n请安装 udev 规则 /usr/lib/udev/rules.d/60-m470.rules", 0), 0u)
        << ui::Ctl(host.Find("nodevice_refused_label")).Text();

    // m470ctl: the listing and a command for that product fail with the same words.
    const std::string told = "m470ctl: " + refusal + "\nm470ctl: " + fix + "\n";
    // Nothing usable: nothing on standard output, the refusal says what is there.
    EXPECT_EQ(Run(*session, {"list"}), (Reply{kExitRefused, "", told}));
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}), (Reply{kExitRefused, "", told}));
    EXPECT_EQ(Run(*session, {"keyboard", "get", "repeat-rate"}).err, "m470ctl: no keyboard is connected\n");
    EXPECT_TRUE(hub.Traffic().Entries().empty());

    // The rule applied: the next look opens the mouse, and nothing is refused.
    session.reset();
    ASSERT_EQ(hub.RunCommand("allow mouse"), "");
    session = Start(hub);
    EXPECT_TRUE(session->Refused().empty());
    EXPECT_FALSE(ui::Ctl(session->Host().Find("nodevice_refused_label")).Visible());
    EXPECT_EQ(Run(*session, {"list"}).exitCode, kExitDone);
    EXPECT_EQ(Run(*session, {"mouse", "get", "stage"}).out, "2\n");
}

}  // namespace
}  // namespace m470::ctl
