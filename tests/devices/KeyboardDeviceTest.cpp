#include <gtest/gtest.h>

#include <thread>

#include "device_link/CommandCodes.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/Eventually.h"
#include "support/LayoutCheck.h"
#include "support/UiQueue.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

using ui::ControlType;
using namespace keyboard_memory;

TEST(KeyboardLayout, PageHoldsEveryControlTheKeyboardUses) {
    test::RequiredControls required{{"keyboard_device_key_light", ControlType::SelectPanel},
                                    {"keyboard_device_seting_layout", ControlType::Tabs},
                                    {"repeat_rate_slider", ControlType::Slider},
                                    {"repeat_delay_time_label1", ControlType::Label},
                                    {"repeat_input_richedit", ControlType::Edit},
                                    {"6flag_option", ControlType::Option},
                                    {"wflag_option", ControlType::Option},
                                    {"winlockflag_option", ControlType::Option},
                                    {"DeviceProfileItem", ControlType::Container},
                                    {"LightControlItem", ControlType::Container},
                                    {"KeySetControlItem", ControlType::Container},
                                    {"MacroControlItem", ControlType::Container},
                                    {"keyset_function_combo", ControlType::Combo},
                                    {"macro_btn_starredio", ControlType::Button}};
    for (int i = 0; i < 4; ++i) {
        required.push_back({"repeat_delay_check_" + std::to_string(i), ControlType::Option});
        required.push_back({"polling_rate_option_" + std::to_string(i), ControlType::Option});
    }
    for (int i = 0; i < 126; ++i) required.push_back({"key_" + std::to_string(i), ControlType::KeyButton});
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/keyboarddevice.ui", required));
}

TEST(KeyboardFactoryFile, KeyListHoldsEachLogicalKeysFactoryFunction) {
    const Json::Value keys = LoadJson(GetDefaultDataFolder() + "keyboard.Json")["Device"][0]["KeyList"];
    ASSERT_EQ(keys.size(), kLogicalKeyCount);
    for (Json::ArrayIndex j = 0; j < keys.size(); ++j) {
        const KeyAssignment f = LogicalKeyFunction(j);
        const uint32_t packed = f.type << 16 | f.param1 << 8 | f.param2;
        EXPECT_EQ(keys[j]["DefaultAssignment"].asUInt(), packed) << j;
        EXPECT_EQ(keys[j]["Assignment"].asUInt(), packed) << j;
    }
}

TEST(KeyboardProfile, SystemWordsAndCustomColoursAndGroupBounds) {
    CKeyboardProfiledata profile;
    profile.SetSystemStages(KeyboardSystemWords::Make(20, 2, 1, 3, 0, 1));
    const Json::Value& system = profile.Section()["SystemStages"];
    EXPECT_EQ(system["RepeatDelay"].asInt(), 2);
    EXPECT_EQ(system["PollingRate"].asInt(), 3);
    EXPECT_EQ(system["WinFlag"].asInt(), 1);
    EXPECT_EQ(profile.GetSystemStages().words, (std::array<uint32_t, 3>{20 | 2u << 16, 1 | 3u << 16, 0 | 1u << 16}));

    // Entry 0 missing: every entry is created and kept in the document.
    const auto fresh = profile.GetCustomColours(2, 4);
    ASSERT_EQ(fresh.size(), 4u);
    EXPECT_EQ(profile.Section()["CustomLightMode"]["LightColorInfo"][2].size(), 4u);
    profile.SetCustomColours({{1, 2, 3, 255}, {4, 5, 6, 128}}, 2);
    const auto read = profile.GetCustomColours(2, 3);
    EXPECT_EQ(read[1], (KeyColour{4, 5, 6, 128}));
    EXPECT_EQ(read[2], fresh[2]);

    // A group from an imported file outside 0-255 is group 0: nothing is
    // allocated for it and nothing throws.
    for (Json::Int64 bad : {Json::Int64(-1), Json::Int64(256), Json::Int64(4000000000LL)}) {
        profile.Section()["CustomLightMode"]["CustomLightModeGroupIndex"] = bad;
        EXPECT_EQ(profile.GetCustomGroup(), 0) << bad;
    }
    profile.GetCustomColours(-7, 1);
    profile.GetCustomColours(1 << 30, 1);
    EXPECT_LE(profile.Section()["CustomLightMode"]["LightColorInfo"].size(), 3u);
    profile.SetCustomGroup(255);
    EXPECT_EQ(profile.GetCustomGroup(), 255);
}

class VirtualKeyboardPage : public test::VirtualPageTest {
protected:
    void SetUp() override { keyboard = MakeDevice<CVantrelKeyboardDevice>("keyboarddevice.ui"); }
    void TearDown() override { keyboard.reset(); }
    void Attach(const std::string& name, int link) {
        rig.hub.Plug(name);
        rig.Open(keyboard->Transport(), "keyboard", link);
    }
    void ReadAll() {
        ASSERT_EQ(keyboard->ReadFromDevice(), kResultSuccess);
        keyboard->StopLightingThread();
    }
    std::vector<Report> Requests(uint8_t command) {
        std::vector<Report> found;
        for (const auto& entry : rig.hub.Traffic().Entries())
            if (entry.request[packet::kCommand] == command) found.push_back(entry.request);
        return found;
    }
    std::vector<uint8_t> Commands() {
        std::vector<uint8_t> codes;
        for (const auto& entry : rig.hub.Traffic().Entries()) codes.push_back(entry.request[packet::kCommand]);
        return codes;
    }
    std::vector<uint8_t> Memory(uint8_t command) { return rig.hub.Firmware("keyboard")->Area(command); }
    Json::Value ProfileFile() { return LoadJson(keyboard->GetProfilePath())["Device"][0]; }
    void Raise(const std::string& event, const std::string& name) {
        ui::Control* control = host.Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(devicePage->Route({event, control, name, 0, 0})) << event << " " << name;
    }
    // Puts the keyboard in its custom-colour mode with group and colour.
    void Custom(uint8_t group, Rgb colour) {
        LightInfo light = keyboard->GetLightInfo();
        light.selectItem = kCustomColourMode;
        light.red = colour.red;
        light.green = colour.green;
        light.blue = colour.blue;
        keyboard->SetLightInfo(light.Words(), light.HalfWord());
        keyboard->SwitchCustomGroup(group);
    }
    // The bytes a paged write put on the wire, by address.
    std::map<size_t, uint8_t> PagedBytes() {
        std::map<size_t, uint8_t> bytes;
        for (const Report& chunk : Requests(command::kWritePagedBlock)) {
            const size_t address = chunk[packet::kAddressLow] | chunk[packet::kAddressHigh] << 8;
            for (size_t i = 0; i < chunk[packet::kLength]; ++i) bytes[address + i] = chunk[kReportDataOffset + i];
        }
        return bytes;
    }

    std::unique_ptr<CVantrelKeyboardDevice> keyboard;
};

TEST_F(VirtualKeyboardPage, FirstFullReadBuildsKeyAndLedMapsAndWritesNothing) {
    Attach("keyboard", LinkWired);
    ReadAll();
    // Framed key table (126 × 3 in 56-byte chunks) and LED positions (126 bytes), then the record.
    const std::vector<uint8_t> expected{0x01, 0x03, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
                                        0x1B, 0x1B, 0x1B, 0x02, 0x05, 0x05};
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Requests(command::kReadSettings)[1][packet::kLength], 34);
    for (size_t j : {0u, 1u, 16u, 17u, 55u, 108u, 120u, 124u, 125u}) {
        EXPECT_EQ(keyboard->KeyMap()[j], SlotOfKey(j)) << j;
        EXPECT_EQ(keyboard->LedMap()[j], LedPositionOfKey(j)) << j;
    }
    // The empty rows share the function of no key: all bound to its first slot.
    const uint8_t firstEmpty = keyboard->KeyMap()[104];
    EXPECT_EQ(firstEmpty, SlotOfKey(104));  // slot 10, before 72, 83 and 94
    for (size_t j : {18u, 19u, 20u, 126u, 169u}) EXPECT_EQ(keyboard->KeyMap()[j], firstEmpty) << j;
    EXPECT_EQ(keyboard->GetLightInfo().selectItem, 2);
    EXPECT_EQ(keyboard->GetLightInfo().speed, 2);
    EXPECT_EQ(ProfileFile()["LightInfo"]["SelectItem"].asInt(), 2);
    EXPECT_TRUE(ui::Ctl(host.Find("repeat_delay_check_1")).Selected());
    EXPECT_EQ(ui::Ctl(host.Find("repeat_delay_time_label1")).Text(), "Repeat_Delay_Time500ms");
    EXPECT_FALSE(ui::Ctl(host.Find("key_18")).Visible());
    EXPECT_EQ(host.Find("key_43")->ToolTipText(), "keyboard_key_QKey_Setkeyboard_key_Q");
}

TEST_F(VirtualKeyboardPage, AMissingFactoryFunctionLeavesItsKeyAbsentAndUnwritten) {
    rig.hub.Plug("keyboard");
    // Esc's slot now holds F1's function: Esc is absent, and F1 is bound to
    // the first of its two slots.
    const std::vector<uint8_t> f1{0x20, 0x00, 0x3A};
    rig.hub.Firmware("keyboard")->WriteArea(command::kReadKeyTable, SlotOfKey(0) * 3, f1);
    rig.Open(keyboard->Transport(), "keyboard", LinkWired);
    ReadAll();
    EXPECT_EQ(keyboard->KeyMap()[0], kAbsentKey);
    EXPECT_EQ(keyboard->LedMap()[0], kAbsentKey);
    EXPECT_EQ(keyboard->KeyMap()[1], std::min(SlotOfKey(0), SlotOfKey(1)));

    // Reassign Esc and F2 in the profile: only F2 reaches the device.
    auto keys = keyboard->Assignments();
    keys[0].current = {0, 0x20, 0x00, 0x04, 0};
    keys[2].current = {2, 0x20, 0x00, 0x05, 0};
    keyboard->SetAssignments(keys);
    const auto before = Memory(command::kReadKeyTable);
    ASSERT_EQ(keyboard->WriteKeyAssignments(0, {}), kResultSuccess);
    const auto after = Memory(command::kReadKeyTable);
    EXPECT_EQ(after[SlotOfKey(2) * 3 + 2], 0x05);
    for (size_t k = 0; k < kKeySlots; ++k)
        if (k != SlotOfKey(2))
            EXPECT_EQ(std::vector<uint8_t>(after.begin() + 3 * k, after.begin() + 3 * k + 3),
                      std::vector<uint8_t>(before.begin() + 3 * k, before.begin() + 3 * k + 3))
                << k;
    // The reassigned key shows its new function in the next read, so the
    // factory search no longer finds it.
    ReadAll();
    EXPECT_EQ(keyboard->KeyMap()[2], kAbsentKey);
}

TEST_F(VirtualKeyboardPage, EachSystemSettingChangesItsByteOrOnlyTheProfile) {
    using namespace keyboard_record;
    Attach("keyboard", LinkWired);
    ReadAll();
    // The first write brings the profile's report rate; from then on each
    // flag moves its byte alone.
    ASSERT_EQ(keyboard->WriteSettingsRecord(), kResultSuccess);
    EXPECT_EQ(Memory(command::kReadSettings)[kPollingRate], 3);
    struct Case {
        const char* control;
        size_t byte;  // in record 0
    };
    for (const Case& c : {Case{"6flag_option", kKey6Flag}, Case{"wflag_option", kWFlag}, Case{"winlockflag_option", kWinFlag}}) {
        rig.hub.Traffic().Clear();
        const auto before = Memory(command::kReadSettings);
        host.Find(c.control)->SetSelected(true, false);
        Raise("selectchanged", c.control);
        auto memory = Memory(command::kReadSettings);
        EXPECT_EQ(memory[c.byte], 1) << c.control;
        memory[c.byte] = before[c.byte];
        EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + kSize),
                  std::vector<uint8_t>(before.begin(), before.begin() + kSize))
            << c.control;  // nothing else moved
        EXPECT_EQ(Commands(), (std::vector<uint8_t>{0x01, 0x06, 0x02})) << c.control;
    }
    host.Find("polling_rate_option_2")->SetSelected(true, false);
    Raise("selectchanged", "polling_rate_option_2");
    EXPECT_EQ(Memory(command::kReadSettings)[kPollingRate], 2);
    EXPECT_EQ(ProfileFile()["SystemStages"]["PollingRate"].asInt(), 2);
    EXPECT_EQ(ProfileFile()["SystemStages"]["WinFlag"].asInt(), 1);

    // Repeat rate and delay live in the profile only.
    rig.hub.Traffic().Clear();
    host.Find("repeat_delay_check_2")->SetSelected(true, false);
    Raise("selectchanged", "repeat_delay_check_2");
    host.Find("repeat_rate_slider")->SetValue(31, false);
    Raise("valuechanged", "repeat_rate_slider");
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(ProfileFile()["SystemStages"]["RepeatDelay"].asInt(), 2);
    EXPECT_EQ(ProfileFile()["SystemStages"]["Repeat"].asInt(), 31);
    EXPECT_EQ(ui::Ctl(host.Find("repeat_delay_time_label1")).Text(), "Repeat_Delay_Time750ms");
    // An option being left is no choice.
    host.Find("repeat_delay_check_3")->SetSelected(false, false);
    Raise("selectchanged", "repeat_delay_check_3");
    EXPECT_EQ(keyboard->SystemWords().RepeatDelay(), 2);
}

TEST_F(VirtualKeyboardPage, ModeCodes1D1EAreSentAsKeepAndKeepReadsAsTheCurrentMode) {
    using namespace keyboard_record;
    Attach("keyboard", LinkWired);
    ReadAll();
    LightInfo light = keyboard->GetLightInfo();
    light.selectItem = 29;  // device code 0x1D
    keyboard->SetLightInfo(light.Words(), light.HalfWord());
    ASSERT_EQ(keyboard->WriteSettingsRecord(), kResultSuccess);
    EXPECT_EQ(Memory(command::kReadSettings)[kMode], kKeepMode);
    light.selectItem = 4;
    keyboard->SetLightInfo(light.Words(), light.HalfWord());
    keyboard->Document().WriteLightInfo(light);
    ASSERT_TRUE(keyboard->ReadSettingsRecord());
    EXPECT_EQ(keyboard->GetLightInfo().selectItem, 4);
}

TEST_F(VirtualKeyboardPage, AFailedRecordReadSendsNoRecord) {
    Attach("keyboard", LinkWired);
    rig.hub.InjectFault("keyboard", command::kReadSettings, 2);
    ASSERT_EQ(keyboard->ReadFromDevice(), kResultSuccess);
    keyboard->StopLightingThread();
    rig.hub.Traffic().Clear();
    rig.hub.InjectFault("keyboard", command::kReadSettings, 1);
    EXPECT_NE(keyboard->ChangeSetting(KeyboardSetting::WinFlag, 1), kResultSuccess);
    EXPECT_TRUE(Requests(command::kWriteSettings).empty());
}

TEST_F(VirtualKeyboardPage, PaintingAKeyWritesItsGroupsColourPageAndProfile) {
    Attach("keyboard", LinkWired);
    ReadAll();
    Custom(3, {10, 20, 30});
    rig.hub.Traffic().Clear();
    const size_t q = 43;
    Raise("click", "key_" + std::to_string(q));
    const auto page = Memory(command::kReadPagedBlock);
    const size_t at = 3 * kPageSize + LedPositionOfKey(q) * 3;
    EXPECT_EQ(std::vector<uint8_t>(page.begin() + at, page.begin() + at + 3), (std::vector<uint8_t>{10, 20, 30}));
    const auto sent = PagedBytes();
    ASSERT_EQ(sent.size(), kKeySlots * 3);  // n × 3 bytes of page 3
    EXPECT_EQ(sent.begin()->first, 3 * kPageSize);
    EXPECT_EQ(ProfileFile()["CustomLightMode"]["LightColorInfo"][3][Json::ArrayIndex(q)]["Green"].asInt(), 20);
    EXPECT_EQ(ProfileFile()["CustomLightMode"]["CustomLightModeGroupIndex"].asInt(), 3);
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 6), (std::vector<uint8_t>{255, 0, 0, 255, 0, 0}));  // group 0 as it was
    // A rubber band over two keys: one write with both.
    host.Find("key_44")->SetKeySelected(true);
    host.Find("key_45")->SetKeySelected(true);
    rig.hub.Traffic().Clear();
    Custom(3, {1, 2, 3});
    EXPECT_TRUE(devicePage->Route({"click_select_end", host.Find("keyboard_device_key_light"),
                                   "keyboard_device_key_light", 0, 0}));
    EXPECT_EQ(Requests(command::kWritePagedBlock).size(), 7u);  // 378 bytes in 56-byte chunks
    const auto painted = Memory(command::kReadPagedBlock);
    for (size_t key : {44u, 45u}) EXPECT_EQ(painted[3 * kPageSize + LedPositionOfKey(key) * 3 + 2], 3) << key;
    EXPECT_EQ(painted[3 * kPageSize + LedPositionOfKey(q) * 3 + 2], 30);
    EXPECT_FALSE(host.Find("key_44")->KeySelected());
    // Outside the custom mode a click paints nothing.
    LightInfo light = keyboard->GetLightInfo();
    light.selectItem = 2;
    keyboard->SetLightInfo(light.Words(), light.HalfWord());
    rig.hub.Traffic().Clear();
    Raise("click", "key_50");
    EXPECT_TRUE(Requests(command::kWritePagedBlock).empty());
}

TEST_F(VirtualKeyboardPage, LedPositionsPastTheLastAreSkippedOnReadAndWrite) {
    rig.hub.Plug("keyboard");
    FirmwareEmulator& firmware = *rig.hub.Firmware("keyboard");
    firmware.WriteArea(command::kReadKeyTableThird, SlotOfKey(0), {170});
    firmware.WriteArea(command::kReadKeyTableThird, SlotOfKey(1), {200});
    firmware.WriteArea(command::kReadKeyTableThird, SlotOfKey(2), {125});
    // Record 0 in the custom mode (code 20), group 1.
    firmware.WriteArea(command::kReadSettings, 1, {kCustomColourMode});
    firmware.WriteArea(command::kReadSettings, 25, {1});
    firmware.WriteArea(command::kReadPagedBlock, kPageSize + 125 * 3, {7, 8, 9});
    rig.Open(keyboard->Transport(), "keyboard", LinkWired);
    ReadAll();
    EXPECT_EQ(keyboard->LedMap()[0], 170);
    EXPECT_EQ(keyboard->LedMap()[1], 200);
    EXPECT_EQ(keyboard->GetLightInfo().selectItem, kCustomColourMode);
    EXPECT_EQ(keyboard->CustomGroup(), 1);
    // The read took position 125 and wrote the page back, n × 3 bytes only.
    EXPECT_EQ(keyboard->FrameCopy()[2].red, 7);
    EXPECT_EQ(ProfileFile()["CustomLightMode"]["LightColorInfo"][1][2]["Blue"].asInt(), 9);
    const auto sent = PagedBytes();
    ASSERT_EQ(sent.size(), kKeySlots * 3);
    EXPECT_EQ(sent.rbegin()->first, kPageSize + kKeySlots * 3 - 1);
    rig.hub.Traffic().Clear();
    Custom(1, {50, 60, 70});
    ASSERT_EQ(keyboard->WriteColourPage(size_t{0}), kResultSuccess);
    ASSERT_EQ(keyboard->WriteColourPage(size_t{1}), kResultSuccess);
    for (const auto& [address, value] : PagedBytes()) EXPECT_NE(value, 50) << address;  // neither lands anywhere
    EXPECT_EQ(ProfileFile()["CustomLightMode"]["LightColorInfo"][1][1]["Red"].asInt(), 50);
}

TEST_F(VirtualKeyboardPage, AfterAResetTheGroupsColoursAreWrittenAtTheirLevels) {
    Attach("keyboard", LinkWired);
    ReadAll();
    const size_t q = 43, w = 44, e = 45;
    std::vector<KeyColour> colours(kLogicalKeyCount, KeyColour{0, 0, 0, 255});
    colours[q] = {200, 100, 50, 128};
    colours[w] = {255, 255, 255, 255};
    colours[e] = {90, 90, 90, 0};
    keyboard->Document().SetCustomColours(colours, 2);
    keyboard->Document().SetCustomGroup(2);
    rig.hub.Traffic().Clear();
    keyboard->AfterProfileReset();
    const auto sent = PagedBytes();
    ASSERT_EQ(sent.size(), kKeySlots * 3);  // one page, n × 3 bytes
    EXPECT_EQ(sent.begin()->first, 2 * kPageSize);
    const auto at = [&](size_t key, size_t channel) { return sent.at(2 * kPageSize + LedPositionOfKey(key) * 3 + channel); };
    EXPECT_EQ(std::vector<uint8_t>({at(q, 0), at(q, 1), at(q, 2)}), (std::vector<uint8_t>{100, 50, 25}));
    EXPECT_EQ(at(w, 0), 254);  // 255 × 255 / 256
    EXPECT_EQ(at(e, 1), 0);    // level 0: dark
    // The profile keeps the colours as they were; the frame shows them.
    EXPECT_EQ(keyboard->Document().GetCustomColours(2, kLogicalKeyCount)[q], (KeyColour{200, 100, 50, 128}));
    EXPECT_EQ(keyboard->CustomGroup(), 2);
    EXPECT_EQ(keyboard->FrameCopy()[q].red, 200);
}

TEST_F(VirtualKeyboardPage, TheSecondEffectOffersFourPresetColoursAndWritesTheChosenOne) {
    Attach("keyboard", LinkWired);
    ReadAll();
    ui::Ctl combo(host.Find("light_combo_ZZCCmodeSelect"));
    ASSERT_EQ(combo.ItemCount(), 4);
    combo.SelectItem(2, false);
    rig.hub.Traffic().Clear();
    Raise("itemselect", "light_combo_ZZCCmodeSelect");
    ASSERT_EQ(Requests(command::kWriteSettings).size(), 1u);
    EXPECT_EQ(Memory(command::kReadSettings)[keyboard->ActiveRecordIndex() * kRecordStride + 18], 2);
    EXPECT_EQ(ProfileFile()["LightInfo"]["ZZCCLedMode"].asInt(), 2);
}

TEST_F(VirtualKeyboardPage, NotificationsByCodeAndInterface) {
    std::vector<std::pair<int, int>> timers;
    std::mutex timersMutex;
    keyboard->SetTimerRequester([&](int id, int delay) {
        std::lock_guard lock(timersMutex);
        timers.push_back({id, delay});
    });
    Attach("keyboard", LinkWired);
    rig.hub.Plug("keyboard-receiver");
    ReadAll();
    test::UiQueue ui;
    keyboard->SetUiInvoker(ui.Invoker());
    const auto waitFor = [&](const auto& done) {
        test::Eventually([&] {
            ui.Pump();
            return done();
        });
    };
    // Key presses count only from the cable's interface.
    ASSERT_TRUE(keyboard->OpenNotify(rig.PathOf("keyboard-receiver", 3), true));
    ASSERT_TRUE(rig.hub.Notify("keyboard-receiver", static_cast<uint16_t>(0x0500 | SlotOfKey(43))));
    ASSERT_TRUE(rig.hub.Notify("keyboard-receiver", 0x0402));
    waitFor([&] {
        std::lock_guard lock(timersMutex);
        return !timers.empty();
    });
    keyboard->CloseNotify(true);
    EXPECT_FALSE(keyboard->LastKeyReaction().has_value());
    EXPECT_EQ(timers, (std::vector<std::pair<int, int>>{{kTimerReload, 50}}));
    ASSERT_TRUE(keyboard->OpenNotify(rig.PathOf("keyboard", 3), false));
    ASSERT_TRUE(rig.hub.Notify("keyboard", static_cast<uint16_t>(0x0500 | SlotOfKey(43))));
    waitFor([&] { return keyboard->LastKeyReaction().has_value(); });
    EXPECT_EQ(keyboard->LastKeyReaction(), std::make_pair(size_t{43}, true));
    ASSERT_TRUE(rig.hub.Notify("keyboard", static_cast<uint16_t>(0x0600 | SlotOfKey(90))));
    waitFor([&] { return keyboard->LastKeyReaction()->first == 90; });
    EXPECT_EQ(keyboard->LastKeyReaction(), std::make_pair(size_t{90}, false));
    ASSERT_TRUE(rig.hub.Notify("keyboard", 0x1002));
    waitFor([&] { return keyboard->ActiveRecordIndex() == 2; });
    keyboard->CloseNotify(false);
    EXPECT_EQ(keyboard->ActiveRecordIndex(), 2);
    EXPECT_EQ(Memory(command::kReadSettings)[0], 2);
}

TEST_F(VirtualKeyboardPage, AnImportedCustomGroupOutsideAByteIsGroupZero) {
    Attach("keyboard", LinkWired);
    ReadAll();
    for (Json::Int64 bad : {Json::Int64(-3), Json::Int64(70000)}) {
        keyboard->Document().Section()["LightInfo"]["CustomGroup"] = bad;
        keyboard->Document().Section()["LightInfo"]["SelectItem"] = kCustomColourMode;
        keyboard->ApplyProfile();
        EXPECT_EQ(keyboard->CustomGroup(), 0) << bad;
        EXPECT_LE(keyboard->Document().Section()["CustomLightMode"]["LightColorInfo"].size(), 1u);
    }
}

TEST_F(VirtualKeyboardPage, ThroughTheReceiverEachCommandAsksForTheLinkFirst) {
    Attach("keyboard-receiver", LinkReceiver);
    ReadAll();
    EXPECT_EQ(keyboard->KeyMap()[1], SlotOfKey(1));
    rig.hub.Traffic().Clear();
    ASSERT_EQ(keyboard->ChangeSetting(KeyboardSetting::Key6Flag, 1), kResultSuccess);
    const auto sent = Commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), command::kQueryLink);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), uint8_t{0x06}), 2);  // 34 bytes in the receiver's smaller chunks
    EXPECT_EQ(Memory(command::kReadSettings)[keyboard_record::kKey6Flag], 1);
    rig.hub.SetPower("keyboard", false);
    rig.hub.Traffic().Clear();
    EXPECT_NE(keyboard->ChangeSetting(KeyboardSetting::Key6Flag, 0), kResultSuccess);
    EXPECT_EQ(Requests(command::kWriteSettings).size(), 0u);
}

}  // namespace
}  // namespace m470
