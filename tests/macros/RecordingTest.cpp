#include <gtest/gtest.h>

#include <vector>

#include "macros/DeviceHook.h"
#include "macros/MacroRecorder.h"
#include "macros/MouseEventTable.h"

namespace m470 {
namespace {

constexpr CapturedKey Press(uint16_t scan, bool extended = false) { return {scan, extended, true}; }
constexpr CapturedKey Release(uint16_t scan, bool extended = false) { return {scan, extended, false}; }
constexpr uint16_t kA = 0x1E, kB = 0x30, kLShift = 0x2A;

class Recording : public ::testing::Test {
public:
    MacroRecorder recorder{[this] { return now; }};
    MacroRows rows;
    uint64_t now = 1000;
    std::vector<int> Delays() const {
        std::vector<int> delays;
        for (const MacroEvent& event : rows.events) delays.push_back(event.delay);
        return delays;
    }
};

TEST_F(Recording, HeldKeyGivesOnePressAndOneRelease) {
    recorder.Start(RecordTiming::Recorded, 0);
    for (int repeat = 0; repeat < 5; ++repeat) recorder.Key(rows, RecordPlace::Append, Press(kA));
    recorder.Key(rows, RecordPlace::Append, Release(kA));
    ASSERT_EQ(rows.events.size(), 2u);
    EXPECT_EQ(rows.events[0], (MacroEvent{10, 0x04, true, 0}));
    EXPECT_EQ(rows.events[1], (MacroEvent{10, 0x04, false, 0}));
    recorder.Key(rows, RecordPlace::Append, Press(kA));  // pressed again after the release: counts
    EXPECT_EQ(rows.events.size(), 3u);
}

TEST_F(Recording, RecordedTimingPutsTheGapOnTheRowBefore) {
    recorder.Start(RecordTiming::Recorded, 0);
    now += 200;
    recorder.Key(rows, RecordPlace::Append, Press(kLShift));
    EXPECT_EQ(Delays(), (std::vector<int>{0}));  // the first event waits for nothing
    now += 1500;
    recorder.Key(rows, RecordPlace::Append, Press(kA));
    EXPECT_EQ(Delays(), (std::vector<int>{1500, 0}));
    now += 70000;  // beyond a delay's range
    recorder.Key(rows, RecordPlace::Append, Release(kA));
    EXPECT_EQ(Delays(), (std::vector<int>{1500, 65535, 0}));
    EXPECT_EQ(rows.events[0], (MacroEvent{9, 0x02, true, 1500}));  // a modifier is Type 9 with its bit
    EXPECT_EQ(rows.selected, 2);
}

TEST_F(Recording, ConstantAndIgnoredTimings) {
    recorder.Start(RecordTiming::Constant, 50);
    for (uint16_t key : {kA, kB}) {
        now += 333;
        recorder.Key(rows, RecordPlace::Append, Press(key));
        recorder.Key(rows, RecordPlace::Append, Release(key));
    }
    // Every row after the first gets the constant, and so does each row
    // before a new one (the first included).
    EXPECT_EQ(Delays(), (std::vector<int>{50, 50, 50, 50}));
    EXPECT_EQ(recorder.ConstantDelay(), 50);

    MacroRecorder ignoring([this] { return now; });
    MacroRows other;
    ignoring.Start(RecordTiming::Ignored, 50);
    for (int i = 0; i < 3; ++i) {
        now += 900;
        ignoring.Key(other, RecordPlace::Append, Press(kA));
        ignoring.Key(other, RecordPlace::Append, Release(kA));
    }
    ASSERT_EQ(other.events.size(), 6u);
    for (const MacroEvent& event : other.events) EXPECT_EQ(event.delay, 0);
}

TEST_F(Recording, TheEventBeyondFourThousandIsDropped) {
    rows.events.assign(kMaxMacroEvents - 1, MacroEvent{10, 4, true, 7});
    rows.selected = 0;
    recorder.Start(RecordTiming::Ignored, 0);
    EXPECT_TRUE(recorder.Key(rows, RecordPlace::Append, Press(kA)));
    EXPECT_EQ(rows.events.size(), kMaxMacroEvents);
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::Append, Release(kA)));
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::After, Press(kB)));
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Before, {mouse_message::kRightDown, 0, 5, 5}, {}));
    EXPECT_EQ(rows.events.size(), kMaxMacroEvents);
}

TEST_F(Recording, TheStopButtonClickIsNotRecorded) {
    const ScreenRect stop{500, 300, 80, 30};  // global coordinates
    recorder.Start(RecordTiming::Ignored, 0);
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kLeftDown, 0, 520, 310}, stop));
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kLeftUp, 0, 520, 310}, stop));
    EXPECT_TRUE(rows.events.empty());
    // The same click beside it, and a right click on it, are recorded.
    EXPECT_TRUE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kLeftDown, 0, 499, 310}, stop));
    EXPECT_TRUE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kRightDown, 0, 520, 310}, stop));
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kRightDown, 0, 530, 310}, stop));  // repeat
    EXPECT_TRUE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kExtraDown, kExtraForward, 0, 0}, stop));
    EXPECT_TRUE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kExtraDown, kExtraBack, 0, 0}, stop));
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Append, {mouse_message::kExtraUp, 3, 0, 0}, stop));
    ASSERT_EQ(rows.events.size(), 4u);
    EXPECT_EQ(rows.events[0], (MacroEvent{1, 0x01, true, 0}));
    EXPECT_EQ(rows.events[1], (MacroEvent{1, 0x02, true, 0}));
    EXPECT_EQ(rows.events[2], (MacroEvent{1, 0x10, true, 0}));
    EXPECT_EQ(rows.events[3], (MacroEvent{1, 0x08, true, 0}));
}

TEST_F(Recording, InsertionsAndReplacementAroundTheSelectedRow) {
    rows.events = {MacroEvent{10, 0x04, true, 10}, MacroEvent{1, 0x01, true, 20}};
    recorder.Start(RecordTiming::Constant, 40);
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::Before, Press(kA)));  // nothing selected
    rows.selected = 0;
    ASSERT_TRUE(recorder.Key(rows, RecordPlace::Before, Press(kB)));
    EXPECT_EQ(rows.events[0], (MacroEvent{10, 0x05, true, 0}));  // no row before it
    EXPECT_EQ(rows.selected, 1);                                   // the selected row moved down with it
    ASSERT_TRUE(recorder.Key(rows, RecordPlace::After, Release(kB)));
    EXPECT_EQ(rows.events[2], (MacroEvent{10, 0x05, false, 40}));
    EXPECT_EQ(rows.events[1].delay, 40);
    EXPECT_EQ(rows.selected, 2);
    // A key replaces only a key row, keeping its action and delay.
    rows.selected = 3;  // the mouse row
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::Replace, Press(kA)));
    EXPECT_TRUE(recorder.Button(rows, RecordPlace::Replace, {mouse_message::kMiddleUp, 0, 0, 0}, {}));
    EXPECT_EQ(rows.events[3], (MacroEvent{1, 0x04, true, 20}));
    rows.selected = 0;
    EXPECT_FALSE(recorder.Button(rows, RecordPlace::Replace, {mouse_message::kRightUp, 0, 0, 0}, {}));
    EXPECT_TRUE(recorder.Key(rows, RecordPlace::Replace, Release(kLShift)));
    EXPECT_EQ(rows.events[0], (MacroEvent{9, 0x02, true, 0}));
    EXPECT_EQ(rows.events.size(), 4u);
}

TEST_F(Recording, UnknownKeysAreDropped) {
    recorder.Start(RecordTiming::Ignored, 0);
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::Append, Press(0x6F)));
    EXPECT_FALSE(recorder.Key(rows, RecordPlace::Append, Press(0x1E, true)));
    EXPECT_TRUE(rows.events.empty());
}

class FakeInput : public HookInput {
public:
    bool InstallKeyboard() override { ++keyboardInstalls; return keyboardWorks; }
    void RemoveKeyboard() override { ++keyboardRemovals; }
    void InstallMouse(int mode) override { mouseMode = mode; }
    void RemoveMouse() override { mouseMode = -1; }
    bool keyboardWorks = true;
    int keyboardInstalls = 0, keyboardRemovals = 0, mouseMode = -1;
};

TEST(DeviceHook, ModesCallTheirHandlersAndWithholdAllButLockKeys) {
    FakeInput input;
    CDeviceHook hook(&input);
    std::vector<std::string> calls;
    for (const HookModeRow& row : kHookModes) {
        const std::string name = row.keyMessage;
        hook.OnKeyMessage(name, [&calls, name](const CapturedKey& key) { calls.push_back(name + ":" + std::to_string(key.scanCode)); });
        if (row.mouseMessage != nullptr) {
            const std::string mouse = row.mouseMessage;
            hook.OnButtonMessage(mouse, [&calls, mouse](const CapturedButton& b) { calls.push_back(mouse + ":" + std::to_string(b.message)); });
        }
    }
    EXPECT_FALSE(hook.DeliverKey(Press(kA)));  // no hook: the window gets the key
    ASSERT_TRUE(hook.SetHookMode(0, hook_mode::kRecord, true, true));
    EXPECT_EQ(input.mouseMode, hook_mode::kRecord);
    EXPECT_TRUE(hook.DeliverKey(Press(kA)));
    EXPECT_FALSE(hook.DeliverKey(Press(0x3A)));        // Caps Lock
    EXPECT_FALSE(hook.DeliverKey(Press(0x45, true)));  // Num Lock
    EXPECT_FALSE(hook.DeliverKey(Press(0x46)));        // Scroll Lock
    EXPECT_TRUE(hook.DeliverKey(Press(0x45)));         // Pause is withheld
    hook.SetPassArea([] { return ScreenRect{10, 10, 20, 20}; });
    EXPECT_TRUE(hook.DeliverButton({mouse_message::kLeftDown, 0, 0, 0}));
    EXPECT_FALSE(hook.DeliverButton({mouse_message::kLeftDown, 0, 15, 15}));  // the stop button can be clicked
    ASSERT_TRUE(hook.SetHookMode(0, hook_mode::kSingleKey, true, false));
    EXPECT_EQ(input.mouseMode, -1);
    EXPECT_FALSE(hook.DeliverButton({mouse_message::kLeftDown, 0, 0, 0}));
    hook.DeliverKey(Release(kB));
    EXPECT_EQ(calls, (std::vector<std::string>{"WM_HOOK_KEY_KBMACRO_MSG:30", "WM_HOOK_KEY_KBMACRO_MSG:58",
                                               "WM_HOOK_KEY_KBMACRO_MSG:69", "WM_HOOK_KEY_KBMACRO_MSG:70",
                                               "WM_HOOK_KEY_KBMACRO_MSG:69", "WM_HOOK_KEY_MSMACRO_MSG:513",
                                               "WM_HOOK_KEY_MSMACRO_MSG:513", "WM_HOOK_KEY_SINGLEKEY_MSG:48"}));
    EXPECT_EQ(input.keyboardInstalls, 2);
    EXPECT_EQ(input.keyboardRemovals, 1);  // at most one capture at a time
    hook.RemoveHooks();
    EXPECT_EQ(input.keyboardRemovals, 2);
    EXPECT_EQ(hook.Mode(), hook_mode::kNone);
    EXPECT_FALSE(hook.DeliverKey(Press(kA)));
}

TEST(DeviceHook, AFailedKeyboardCaptureInstallsNothing) {
    FakeInput input;
    input.keyboardWorks = false;
    CDeviceHook hook(&input);
    EXPECT_FALSE(hook.SetHookMode(0, hook_mode::kRecord, true, true));
    EXPECT_FALSE(hook.KeyboardHooked());
    EXPECT_FALSE(hook.LibraryHooked());
    EXPECT_EQ(input.mouseMode, -1);
    EXPECT_EQ(input.keyboardRemovals, 0);
}

}  // namespace
}  // namespace m470
