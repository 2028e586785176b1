#include <gtest/gtest.h>

#include <map>

#include "device_link/CommandCodes.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "sim/ProductFirmware.h"
#include "support/Eventually.h"
#include "support/UiQueue.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

using namespace keyboard_memory;

// The keyboard on its page against the virtual keyboard, its lighting
// stepped on a clock the test moves.
class KeyboardLightingOnTheWire : public test::VirtualPageTest {
protected:
    void SetUp() override {
        keyboard = MakeDevice<CVantrelKeyboardDevice>("keyboarddevice.ui");
        rig.hub.Plug("keyboard");
        rig.Open(keyboard->Transport(), "keyboard", LinkWired);
        ASSERT_EQ(keyboard->ReadFromDevice(), kResultSuccess);
        keyboard->StopLightingThread();
        keyboard->SetTickClock(clock);
        rig.hub.Traffic().Clear();
    }
    void TearDown() override { keyboard.reset(); }
    void Mode(uint8_t mode, uint8_t brightness = 4) {
        LightInfo light = keyboard->GetLightInfo();
        light.selectItem = mode;
        light.light = brightness;
        light.speed = 4;  // a step on every tick
        keyboard->SetLightInfo(light.Words(), light.HalfWord());
    }
    void Step(int ticks = 1) {
        for (int i = 0; i < ticks; ++i) {
            clock->Advance(1);
            keyboard->AdvanceLighting();
        }
    }
    // The bytes of the last streamed frame, by offset.
    std::map<size_t, uint8_t> Streamed() {
        std::map<size_t, uint8_t> bytes;
        for (const auto& entry : rig.hub.Traffic().Entries()) {
            const auto& chunk = entry.request;
            if (chunk[packet::kCommand] != command::kStreamLighting) continue;
            const size_t address = chunk[packet::kAddressLow] | chunk[packet::kAddressHigh] << 8;
            for (size_t i = 0; i < chunk[packet::kLength]; ++i) bytes[address + i] = chunk[kReportDataOffset + i];
        }
        return bytes;
    }
    uint32_t KeyLight(size_t key) {
        auto* button = static_cast<ui::MemoryControl*>(host.FindUnder(page, "key_" + std::to_string(key)));
        return button != nullptr ? button->LightColour() : 0xFFFFFFFF;
    }

    std::shared_ptr<ManualTickClock> clock = std::make_shared<ManualTickClock>();
    std::unique_ptr<CVantrelKeyboardDevice> keyboard;
};

TEST_F(KeyboardLightingOnTheWire, FixedColourGoesToEachKeysLedAsSlotCountTimesThreeBytes) {
    Mode(30, 3);  // 195 of 256
    keyboard->FeedAudioBands({0x110, 0x80, 0xF0, 7});
    Step();
    keyboard->RenderLighting();
    const auto sent = Streamed();
    ASSERT_EQ(sent.size(), kKeySlots * 3);
    EXPECT_EQ(sent.rbegin()->first, kKeySlots * 3 - 1);
    // Every key shows at the LED position the keyboard gave its slot (keys
    // without a function of their own share the first empty slot's);
    // positions no key uses stay dark.
    EXPECT_EQ(keyboard->LedMap()[43], LedPositionOfKey(43));
    std::map<size_t, uint8_t> expected;
    for (size_t p = 0; p < kKeySlots * 3; ++p) expected[p] = 0;
    for (size_t j = 0; j < kLogicalKeyCount; ++j) {
        const size_t p = keyboard->LedMap()[j];
        if (p >= kKeySlots) continue;
        expected[p * 3] = 0x10 * 195 >> 8;
        expected[p * 3 + 1] = 0x80 * 195 >> 8;
        expected[p * 3 + 2] = 0xF0 * 195 >> 8;
    }
    for (const auto& [offset, value] : expected) EXPECT_EQ(sent.at(offset), value) << offset;
    // The picture shows the same keys, and none while keys are assigned.
    EXPECT_EQ(KeyLight(43), 0x10u | 0x80u << 8 | 0xF0u << 16);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 195);
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 0);
    keyboard->RenderLighting();
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 0);
    devicePage->ShowOptionTab(1);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 195);
}

TEST_F(KeyboardLightingOnTheWire, AudioFrameIsStreamedAndOtherModesOnlyShowThePicture) {
    Mode(11);  // the key colour cycle runs on the keyboard itself
    Step();
    keyboard->RenderLighting();
    EXPECT_TRUE(Streamed().empty());
    EXPECT_NE(KeyLight(21), 0u);

    AudioLightInfo audio;
    audio.fgColorR = 40;
    audio.fgColorG = 50;
    audio.fgColorB = 60;
    keyboard->SetAudioLightInfo(audio);
    Mode(29);
    std::array<int32_t, 25> loud;
    loud.fill(2000);  // every column full
    keyboard->FeedKeyboardSpectrum(loud);
    Step(2);  // the audio step runs once more than one tick was counted
    keyboard->RenderLighting();
    const auto sent = Streamed();
    ASSERT_EQ(sent.size(), kKeySlots * 3);
    const size_t at = LedPositionOfKey(21) * 3;  // column 1, row 1
    EXPECT_EQ(sent.at(at), 40 * 254 >> 8);
    EXPECT_EQ(sent.at(at + 1), 50 * 254 >> 8);
    EXPECT_EQ(sent.at(at + 2), 60 * 254 >> 8);
}

TEST_F(KeyboardLightingOnTheWire, AKeyPressedOnTheKeyboardLightsItInTheFadeMode) {
    Mode(7);
    test::UiQueue ui;
    keyboard->SetUiInvoker(ui.Invoker());
    ASSERT_TRUE(keyboard->OpenNotify(rig.PathOf("keyboard", 3), false));
    ASSERT_TRUE(rig.hub.Notify("keyboard", static_cast<uint16_t>(0x0500 | SlotOfKey(43))));
    EXPECT_TRUE(test::Eventually([&] {
        ui.Pump();
        return keyboard->LastKeyReaction().has_value();
    }));
    keyboard->CloseNotify(false);
    Step();
    EXPECT_EQ(keyboard->FrameCopy()[43].level, 254);
    EXPECT_EQ(keyboard->FrameCopy()[44].level, 0);
}

}  // namespace
}  // namespace m470
