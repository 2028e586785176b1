#include <gtest/gtest.h>

#include <thread>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/Eventually.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "support/UiQueue.h"
#include "support/VirtualPage.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

using ui::ControlType;

std::string SkinPath(const std::string& file) { return GetInstallFolder() + "skin/" + file; }

TEST(MouseLayout, PageHoldsEveryControlTheMouseUses) {
    test::RequiredControls required{{"mouse_device_seting_layout", ControlType::Tabs},
                                    {"mouse_option_layout", ControlType::Container},
                                    {"device_tishi_info", ControlType::Label},
                                    {"device_setkeyinfo_list", ControlType::List},
                                    {"device_function_switch", ControlType::Tabs},
                                    {"device_key_function_switch", ControlType::Tabs},
                                    {"pointer_speed_slider", ControlType::Slider},
                                    {"pointer_precision_check", ControlType::Option},
                                    {"scrolls_page_check", ControlType::Option},
                                    {"scroll_speed_slider", ControlType::Slider},
                                    {"double_click_slider", ControlType::Slider},
                                    {"logo", ControlType::KeyButton}};
    for (const char* panel : {"DeviceProfileItem", "LightControlItem", "MacroControlItem", "KeySetControlItem", "ShootControlItem"})
        required.push_back({panel, ControlType::Container});
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        required.insert(required.end(), {{"DPI_layout_" + n, ControlType::Container},
                                         {"DPI_enable_check_" + n, ControlType::Option},
                                         {"DPI_select_check_" + n, ControlType::Option},
                                         {"DPI_slider_" + n, ControlType::Slider},
                                         {"DPI_edit_" + n, ControlType::Edit},
                                         {"DPI_color_option_" + n, ControlType::Button}});
    }
    for (int i = 0; i < 5; ++i) required.push_back({"polling_rate_option_" + std::to_string(i), ControlType::Option});
    for (int i = 0; i < 5; ++i) required.push_back({"mouse_device_seting_option_" + std::to_string(i), ControlType::Option});
    for (int i = 0; i < 12; ++i) required.push_back({"key_" + std::to_string(i), ControlType::KeyButton});
    for (int i = 0; i < 20; ++i) required.push_back({"light_" + std::to_string(i), ControlType::KeyButton});
    EXPECT_TRUE(test::LayoutHas(SkinPath("mousedevice.ui"), required));
}

class VirtualMousePage : public test::VirtualPageTest {
protected:
    void SetUp() override {
        mouse = MakeDevice<CVantrelMouseDevice>("mousedevice.ui");
        mouse->SetScreenSize(1920, 1080);
    }
    void TearDown() override { mouse.reset(); }
    void Attach(const std::string& name, int link) {
        rig.hub.Plug(name);
        rig.Open(mouse->Transport(), "mouse", link);
    }
    std::vector<Report> Requests(uint8_t command) {
        std::vector<Report> found;
        for (const auto& entry : rig.hub.Traffic().Entries())
            if (entry.request[3] == command) found.push_back(entry.request);
        return found;
    }
    std::vector<uint8_t> Commands() {
        std::vector<uint8_t> codes;
        for (const auto& entry : rig.hub.Traffic().Entries()) codes.push_back(entry.request[3]);
        return codes;
    }
    std::vector<uint8_t> Record0() {
        auto memory = rig.hub.Firmware("mouse")->Area(command::kReadSettings);
        return {memory.begin(), memory.begin() + mouse_record::kSize};
    }
    Json::Value ProfileFile() { return LoadJson(mouse->GetProfilePath())["Device"][0]; }
    void Raise(const std::string& event, const std::string& name) {
        ui::Control* control = host.Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(devicePage->Route({event, control, name, 0, 0})) << event << " " << name;
    }

    std::unique_ptr<CVantrelMouseDevice> mouse;
};

TEST_F(VirtualMousePage, FirstFullReadWired) {
    Attach("mouse", LinkWired);
    ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess);
    mouse->StopLightingThread();
    const std::vector<uint8_t> expected{0x01, 0x03, 0x07, 0x02,   // key table read
                                        0x05, 0x05, 0x05,         // active index, record in 56 + 31
                                        0x01, 0x06, 0x06, 0x02};  // refreshed panels write record 0
    EXPECT_EQ(Commands(), expected);
    for (size_t button = 0; button < kMouseButtons; ++button)
        EXPECT_EQ(mouse->SlotMap()[button], mouse_memory::kButtonSlots[button]) << button;
    const auto reads = Requests(command::kReadSettings);
    EXPECT_EQ(reads[1][4], 56);
    EXPECT_EQ(mouse->GetLightInfo().light, 3);
    EXPECT_EQ(mouse->GetLightInfo().speed, 2);
    EXPECT_EQ(mouse->ActiveStage(), 1);
    // The page shows the stages of the profile.
    EXPECT_EQ(ui::Ctl(host.Find("DPI_slider_5")).Value(), 81);
    EXPECT_EQ(ui::Ctl(host.Find("DPI_edit_5")).Text(), std::to_string(100 + 4800 + 5000 + 8 * 400));
    EXPECT_TRUE(ui::Ctl(host.Find("DPI_select_check_1")).Selected());
    EXPECT_FALSE(ui::Ctl(host.Find("DPI_enable_check_1")).Enabled());
    EXPECT_TRUE(ui::Ctl(host.Find("polling_rate_option_3")).Selected());
    EXPECT_EQ(ui::Ctl(host.Find("DPI_color_option_2")).BkColour(), 0xFF0000FFu);
    EXPECT_EQ(ProfileFile()["LightInfo"]["Light"].asInt(), 3);
    ui::Control* list = host.Find("device_setkeyinfo_list");
    ASSERT_EQ(list->ItemCount(), 12);
    EXPECT_EQ(list->ItemText(0), "mouse_key_left: mouse_key_left");
    EXPECT_EQ(host.Find("key_10")->ToolTipText(), "mouse_key_fire_key");
}

// Every settings record sent, by its screen size (bytes 69-72, in the
// second of the 56 + 31 byte chunks on the cable).
TEST_F(VirtualMousePage, ARefreshAndAProfileChoiceSendTheRecordOnceWithTheScreenSize) {
    using namespace mouse_record;
    Attach("mouse", LinkWired);
    ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess);
    mouse->StopLightingThread();
    const auto recordWrites = [&] {
        std::vector<std::pair<int, int>> screens;
        for (const Report& chunk : Requests(command::kWriteSettings)) {
            const size_t address = chunk[packet::kAddressLow] | chunk[packet::kAddressHigh] << 8;
            if (address == 0) screens.emplace_back(-1, -1);
            if (address != kMaxChunkData || screens.empty()) continue;
            const auto word = [&](size_t offset) {
                const size_t at = kReportDataOffset + offset - kMaxChunkData;
                return chunk[at] | chunk[at + 1] << 8;
            };
            screens.back() = {word(kScreenWidth), word(kScreenHeight)};
        }
        return screens;
    };
    const std::vector<std::pair<int, int>> once{{1920, 1080}};
    // The first read's refresh.
    EXPECT_EQ(recordWrites(), once);
    EXPECT_EQ(Record0()[kScreenWidth] | Record0()[kScreenWidth + 1] << 8, 1920);
    rig.hub.Traffic().Clear();
    ASSERT_NE(devicePage->ProfileStrip(), nullptr);
    devicePage->ShowChosenProfile();  // what a choice shows before it is applied
    EXPECT_TRUE(recordWrites().empty());
    EXPECT_EQ(devicePage->ApplyChosenProfile(), 0);
    EXPECT_EQ(recordWrites(), once);
    const std::vector<uint8_t> framed{0x01, 0x06, 0x06, 0x02};
    const std::vector<uint8_t> sent = Commands();
    ASSERT_GE(sent.size(), framed.size());
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 4), framed);
    // A notification's refresh writes the size too.
    rig.hub.Traffic().Clear();
    mouse->ReloadSettings();
    EXPECT_EQ(recordWrites(), once);
}

TEST_F(VirtualMousePage, ReportRateGoesToByte11WiredAnd77ThroughTheReceiver) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    Raise("selectchanged", "polling_rate_option_1");  // not selected: ignored
    host.Find("polling_rate_option_1")->SetSelected(true, false);
    Raise("selectchanged", "polling_rate_option_1");
    auto record = Record0();
    EXPECT_EQ(record[11], 1);
    EXPECT_EQ(record[77], 3);
    EXPECT_EQ(ProfileFile()["ReportStages"]["StageActive"].asInt(), 1);

    rig.hub.Plug("mouse-receiver");
    rig.Open(mouse->Transport(), "mouse", LinkReceiver);
    host.Find("polling_rate_option_4")->SetSelected(true, false);
    Raise("selectchanged", "polling_rate_option_4");
    record = Record0();
    EXPECT_EQ(record[77], 4);
    // As the device holds it: the record is read again on the new link, and
    // holds the cable rate written above.
    EXPECT_EQ(record[11], 1);
    EXPECT_EQ(ProfileFile()["ReportStages24g"]["StageActive24g"].asInt(), 4);
}

TEST_F(VirtualMousePage, StageHandlersChangeRecordAndProfile) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    using namespace mouse_record;
    // Moving stage slider 3.
    host.Find("DPI_slider_3")->SetValue(60, false);
    Raise("movevaluechanged", "DPI_slider_3");
    EXPECT_EQ(ui::Ctl(host.Find("DPI_edit_3")).Text(), "7300");
    EXPECT_EQ(Record0()[kStages + 9 * 3 + 2], 31);  // not written while dragging
    Raise("valuechanged", "DPI_slider_3");
    EXPECT_EQ(Record0()[kStages + 9 * 3 + 2], 60);
    EXPECT_EQ(Record0()[kStages + 9 * 3 + 4], 31);  // dpiY stays
    EXPECT_EQ(ProfileFile()["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt(), 60);

    // Typing a value.
    host.Find("DPI_edit_2")->SetText("5400");
    Raise("killfocus", "DPI_edit_2");
    EXPECT_EQ(ui::Ctl(host.Find("DPI_slider_2")).Value(), 51);  // base 100: 4900 / 100 + 400 / 200
    EXPECT_EQ(Record0()[kStages + 9 * 2 + 2], 51);

    // Choosing the active stage.
    host.Find("DPI_select_check_4")->SetSelected(true, false);
    Raise("selectchanged", "DPI_select_check_4");
    EXPECT_EQ(Record0()[kActiveStage], 4);
    EXPECT_EQ(ProfileFile()["DPIStages"]["StageActive"].asInt(), 4);
    EXPECT_FALSE(ui::Ctl(host.Find("DPI_select_check_1")).Selected());
    EXPECT_FALSE(ui::Ctl(host.Find("DPI_enable_check_4")).Enabled());

    // Disabling a stage.
    host.Find("DPI_enable_check_0")->SetSelected(false, false);
    Raise("selectchanged", "DPI_enable_check_0");
    EXPECT_EQ(Record0()[kStages], 0);
    EXPECT_EQ(ProfileFile()["DPIStages"]["StageDPIs"][0]["StageActive"].asInt(), 0);
    EXPECT_EQ(Record0()[kScreenWidth] | Record0()[kScreenWidth + 1] << 8, 1920);
    EXPECT_EQ(Record0()[kFlag], 1);
}

TEST_F(VirtualMousePage, SystemControlsChangeOnlyTheProfile) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    const size_t writes = Requests(command::kWriteSettings).size();
    host.Find("pointer_speed_slider")->SetValue(14, false);
    Raise("valuechanged", "pointer_speed_slider");
    host.Find("double_click_slider")->SetValue(7, false);
    Raise("valuechanged", "double_click_slider");
    host.Find("scroll_speed_slider")->SetValue(9, false);
    host.Find("scrolls_page_check")->SetSelected(true, false);
    Raise("valuechanged", "scroll_speed_slider");
    EXPECT_FALSE(ui::Ctl(host.Find("scrolls_page_check")).Selected());
    host.Find("pointer_precision_check")->SetSelected(false, false);
    Raise("selectchanged", "pointer_precision_check");
    const Json::Value system = ProfileFile()["SystemStages"];
    EXPECT_EQ(system["MouseSpeed"].asInt(), 14);
    EXPECT_EQ(system["DoubleClickTime"].asInt(), 7);
    EXPECT_EQ(system["WheelScorlllinse"].asInt(), 9);
    EXPECT_EQ(system["ScorllPage"].asInt(), 0);
    EXPECT_EQ(system["PointerPrecision"].asInt(), 0);
    EXPECT_EQ(Requests(command::kWriteSettings).size(), writes);
    // Page scrolling chosen again keeps the lines per notch.
    host.Find("scrolls_page_check")->SetSelected(true, false);
    Raise("selectchanged", "scrolls_page_check");
    EXPECT_EQ(ProfileFile()["SystemStages"]["ScorllPage"].asInt(), 1);
    EXPECT_EQ(ProfileFile()["SystemStages"]["WheelScorlllinse"].asInt(), 9);

    host.Find("mouse_device_seting_option_3")->SetSelected(true, false);
    Raise("selectchanged", "mouse_device_seting_option_3");
    EXPECT_EQ(ui::Ctl(host.Find("mouse_device_seting_layout")).Page(), 3);
    EXPECT_FALSE(devicePage->Route({"click", nullptr, "something_else", 0, 0}));
}

TEST_F(VirtualMousePage, MainWindowDpiEditIsClamped) {
    ui::MemoryControl* window = host.CreateControl("QWidget", "main", nullptr);
    host.CreateControl("QSlider", "kestro_DPI_slider_1", window)->SetRange(0, 7000);
    ui::MemoryControl* edit = host.CreateControl("QLineEdit", "kestro_DPI_edit_1", window);
    edit->SetText("abc");
    Raise("killfocus", "kestro_DPI_edit_1");
    EXPECT_EQ(edit->Text(), "200");
    edit->SetText("9000");
    Raise("killfocus", "kestro_DPI_edit_1");
    EXPECT_EQ(edit->Text(), "6500");
    EXPECT_EQ(ui::Ctl(host.Find("kestro_DPI_slider_1")).Value(), 6500);
    host.Find("kestro_DPI_slider_1")->SetValue(1234, false);
    Raise("movevaluechanged", "kestro_DPI_slider_1");
    EXPECT_EQ(edit->Text(), "1234");
}

TEST_F(VirtualMousePage, ThroughTheReceiverWithTheMouseOff) {
    Attach("mouse-receiver", LinkReceiver);
    rig.hub.SetPower("mouse", false);
    EXPECT_NE(mouse->ReadFromDevice(), kResultSuccess);
    mouse->StopLightingThread();
    EXPECT_EQ(mouse->SlotMap()[0], kMissingSlot);
    // Nothing but link queries went out, and a failed write is not reported as success.
    for (uint8_t code : Commands()) EXPECT_EQ(code, command::kQueryLink);
    EXPECT_EQ(mouse->WriteToDevice(0, 0, 1, 0, 0), kResultNoReply);

    rig.hub.SetPower("mouse", true);
    ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess);
    mouse->StopLightingThread();
    EXPECT_EQ(mouse->SlotMap()[4], mouse_memory::kButtonSlots[4]);
    EXPECT_EQ(mouse->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
}

TEST_F(VirtualMousePage, MissingFactoryFunctionLeavesItsButtonOut) {
    rig.hub.Plug("mouse");
    const size_t slot = mouse_memory::kButtonSlots[3];
    rig.hub.Firmware("mouse")->WriteArea(command::kReadKeyTable, slot * 3, {0x00, 0x00, 0x00});
    rig.Open(mouse->Transport(), "mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    EXPECT_EQ(mouse->SlotMap()[3], kMissingSlot);
    // A macro on button 3 is neither written nor counted.
    folder.Write("data/M470/mouse/macro.config", R"({"MacroInfo": [{"MacroName": "a", "Guid": "g0"}]})");
    auto assignments = mouse->Assignments();
    assignments[3].current = {3, 0x70, 0, 1, 0};
    mouse->SetAssignments(assignments);
    EXPECT_TRUE(mouse->CollectUsedMacros().empty());
    ASSERT_EQ(mouse->WriteKeyAssignments(0, {}), kResultSuccess);
    const auto table = rig.hub.Firmware("mouse")->Area(command::kReadKeyTable);
    EXPECT_EQ(table[slot * 3], 0x00);
}

TEST_F(VirtualMousePage, TwoButtonsSharingAMacroDownloadItOnce) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    folder.Write("data/M470/mouse/macro.config", R"({"MacroInfo": [{"MacroName": "first", "Guid": "g0"},
                                                                    {"MacroName": "second", "Guid": "g1"}]})");
    folder.Write("data/M470/mouse/g1.mac", R"({"Events": [{"Type": 10, "Button": 4, "Action": "down", "Delay": "30"},
                                                           {"Type": 10, "Button": 4, "Action": "up", "Delay": 300}]})");
    auto assignments = mouse->Assignments();
    assignments[5].current = {5, 0x70, 1, 2, 0};
    assignments[7].current = {7, 0x71, 1, 3, 0};
    assignments[8].current = {8, 0x70, 9, 0, 0};  // no such macro: factory function again
    mouse->SetAssignments(assignments);
    const auto used = mouse->CollectUsedMacros();
    EXPECT_EQ(used, (std::vector<int>{1}));
    ASSERT_EQ(mouse->WriteKeyAssignments(0, used), kResultSuccess);
    const auto table = rig.hub.Firmware("mouse")->Area(command::kReadKeyTable);
    const size_t s5 = mouse_memory::kButtonSlots[5], s7 = mouse_memory::kButtonSlots[7], s8 = mouse_memory::kButtonSlots[8];
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + s5 * 3, table.begin() + s5 * 3 + 3), (std::vector<uint8_t>{0x70, 0, 2}));
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + s7 * 3, table.begin() + s7 * 3 + 3), (std::vector<uint8_t>{0x71, 0, 3}));
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + s8 * 3, table.begin() + s8 * 3 + 3), (std::vector<uint8_t>{0xA0, 0x1B, 0}));

    EXPECT_EQ(mouse->WriteMacros(used), 0);
    const auto image = rig.hub.Firmware("mouse")->MacroImage();
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0], (ImageEntry{{30, 0, 0x8A, 4}, {44, 1, 0x0A, 4}}));
}

TEST_F(VirtualMousePage, MacroImageTooLargeReportsTheSurplus) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    folder.Write("data/M470/mouse/macro.config", R"({"MacroInfo": [{"MacroName": "long", "Guid": "big"}]})");
    Json::Value macro;
    for (int i = 0; i < 600; ++i) macro["Events"][i] = Json::Value(Json::objectValue);
    SaveJson(folder.File("data/M470/mouse/big.mac"), macro);
    const size_t before = rig.hub.Traffic().Entries().size();
    // 16 + 6 + 2400 bytes against 2048: (2422 − 2048) / 4 + 1.
    EXPECT_EQ(mouse->WriteMacros({0}), (2422 - 2048) / 4 + 1);
    const auto after = rig.hub.Traffic().Entries();
    ASSERT_EQ(after.size(), before + 1);  // the device information only
    EXPECT_EQ(after.back().request[3], command::kReadDeviceInfo);
}

TEST_F(VirtualMousePage, FourEmptyRecoilPatternsAreForty) {
    Attach("mouse", LinkWired);
    // Without their files (the recoil tab copies the factory ones when first shown) the patterns are empty.
    for (int n = 0; n < 4; ++n) ASSERT_FALSE(std::filesystem::exists(folder.File("data/M470/mouse/ShootData_" + std::to_string(n) + ".Shoot")));
    ASSERT_EQ(mouse->WriteRecoilPatterns(), kResultSuccess);
    const auto writes = Requests(command::kWriteRecoilImage);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0][4], 40);
    const std::vector<uint8_t> header(writes[0].begin() + 8, writes[0].begin() + 8 + 24);
    EXPECT_EQ(header, (std::vector<uint8_t>{0xAA, 0x55, 40, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0, 28, 0, 32, 0, 36, 0}));

    // The factory patterns: 30 bullets of 6 events each.
    for (int n = 0; n < 4; ++n) {
        const std::string name = "ShootData_" + std::to_string(n) + ".Shoot";
        std::filesystem::copy_file(GetDefaultDataFolder() + name, folder.File("data/M470/mouse/" + name));
    }
    ASSERT_EQ(mouse->WriteRecoilPatterns(), kResultSuccess);
    const auto patterns = rig.hub.Firmware("mouse")->RecoilImage();
    ASSERT_EQ(patterns.size(), 4u);
    for (const ImageEntry& pattern : patterns) EXPECT_EQ(pattern.size(), 180u);
    EXPECT_EQ(patterns[0][0], (ImageEvent{10, 0, 0x81, 1}));
}

TEST_F(VirtualMousePage, NotificationsSwitchRecordAndStage) {
    Attach("mouse", LinkWired);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    rig.hub.Traffic().Clear();
    DebugTrace::Clear();
    test::UiQueue ui;
    mouse->SetUiInvoker(ui.Invoker());
    ASSERT_TRUE(mouse->OpenNotify(rig.PathOf("mouse", 3), false));
    ASSERT_TRUE(rig.hub.Notify("mouse", 0x1123));
    EXPECT_TRUE(test::Eventually([&] { return ui.Pump() != 0; }));
    mouse->CloseNotify(false);
    EXPECT_EQ(mouse->ActiveRecordIndex(), 3);
    EXPECT_EQ(mouse->ActiveStage(), 2);
    EXPECT_TRUE(ui::Ctl(host.Find("DPI_select_check_2")).Selected());
    EXPECT_EQ(Record0()[mouse_record::kActiveStage], 2);
    EXPECT_TRUE(DebugTrace::Contains("接收到自动添加设备的同步信息要求  TEST"));
}

TEST_F(VirtualMousePage, ReactionOnlyFromTheWiredInterfaceAndReloadOnRequest) {
    std::vector<std::pair<int, int>> timers;
    std::mutex timersMutex;
    mouse->SetTimerRequester([&](int id, int delay) {
        std::lock_guard lock(timersMutex);
        timers.push_back({id, delay});
    });
    const auto timerCount = [&] {
        std::lock_guard lock(timersMutex);
        return timers.size();
    };
    LightInfo reaction;
    reaction.selectItem = 6;
    reaction.light = 4;
    mouse->SetLightInfo(reaction.Words(), reaction.HalfWord());
    Attach("mouse", LinkWired);
    rig.hub.Plug("mouse-receiver");
    ASSERT_TRUE(mouse->OpenNotify(rig.PathOf("mouse-receiver", 3), true));
    ASSERT_TRUE(rig.hub.Notify("mouse-receiver", 0x0403));
    ASSERT_TRUE(rig.hub.Notify("mouse-receiver", 0x0402));
    EXPECT_TRUE(test::Eventually([&] { return timerCount() != 0; }));
    mouse->CloseNotify(true);
    EXPECT_EQ(timers, (std::vector<std::pair<int, int>>{{kTimerReload, 50}}));
    mouse->StartLightingThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    for (const LedEntry& led : mouse->FrameCopy()) EXPECT_EQ(led.level, 0);  // not armed through the receiver
    ASSERT_TRUE(mouse->OpenNotify(rig.PathOf("mouse", 3), false));
    ASSERT_TRUE(rig.hub.Notify("mouse", 0x0403));
    const bool lit = test::Eventually([&] { return mouse->FrameCopy()[0].level > 0; });
    mouse->StopLightingThread();
    EXPECT_TRUE(lit);
}

TEST(SensitivityScales, ThreeSegmentAndLinearSensors) {
    const SensitivityScale three{kThreeSegmentSensor, 100, 200};
    EXPECT_EQ(three.ValueOf(48), 5000);
    EXPECT_EQ(three.ValueOf(50), 5400);
    EXPECT_EQ(three.ValueOf(74), 10400);
    EXPECT_EQ(three.PositionOf("5400"), 50);
    EXPECT_EQ(three.PositionOf("20000"), 88);
    EXPECT_EQ(three.PositionOf(""), 0);
    EXPECT_EQ(three.PositionOf("abc"), 0);
    const SensitivityScale linear{0x1234, 50, 100};
    EXPECT_EQ(linear.ValueOf(88), 4500);
    EXPECT_EQ(linear.PositionOf("99"), 0);
    EXPECT_EQ(linear.PositionOf("16000"), 88);  // never past the slider
    const SensitivityScale broken{0x1234, 0, 100};
    EXPECT_EQ(broken.PositionOf("5000"), 88);  // a device reporting step 0 does not crash the page
    // A base above the highest value: the bounds are ordered (std::clamp with
    // its bounds reversed aborts in the checked library of the sanitizer build).
    const SensitivityScale aboveTop{0x1234, 100, 17000};
    EXPECT_EQ(aboveTop.PositionOf("20000"), 0);
    EXPECT_EQ(aboveTop.PositionOf("100"), 0);
    EXPECT_EQ(aboveTop.ValueOf(0), 17000);
}

}  // namespace
}  // namespace m470
