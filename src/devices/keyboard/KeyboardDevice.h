#pragma once
// A keyboard (kind 1), by cable or through its receiver; its models are rows of Products.h.
#include <array>
#include <optional>
#include <span>

#include "devices/CustomColours.h"
#include "devices/KeyAssignmentModel.h"
#include "devices/KeyboardSettings.h"
#include "devices/RecordLight.h"
#include "devices/VantrelUSBDevice.h"
#include "devices/keyboard/KeyboardLightingSteps.h"
#include "devices/keyboard/KeyboardProfiledata.h"
#include "devices/keyboard/LogicalKeys.h"
#include "platform/Translator.h"

namespace m470 {

namespace keyboard_record {
using namespace record_light;  // the shared head, bytes 0-8
inline constexpr size_t kCleared = 16;
inline constexpr size_t kSecondaryMode = 18;  // "ZZCCLedMode"
inline constexpr size_t kWFlag = 19;
inline constexpr size_t kKey6Flag = 20;
inline constexpr size_t kWinFlag = 21;
inline constexpr size_t kPollingRate = 22;
inline constexpr size_t kCustomGroup = 25;
inline constexpr size_t kSize = 34;
inline constexpr size_t kStride = 33;
// Mode codes the record cannot carry: sent as "keep the current mode".
inline constexpr uint8_t kKeepMode = 0xFE;
}  // namespace keyboard_record

inline constexpr uint8_t kAbsentKey = 255;
inline constexpr uint8_t kCustomColourMode = 20;
// LED positions the colour pages can hold (0-170): a block of 171 colours.
inline constexpr size_t kColourPositions = 171;
inline constexpr uint32_t kColourPageSize = 512;

class CVantrelKeyboardDevice : public CVantrelUSBDevice, public KeyAssignmentModel, public CustomColours,
                               public KeyboardSettings {
public:
    explicit CVantrelKeyboardDevice(std::shared_ptr<HidBackend> backend = nullptr, Translator translate = nullptr,
                                    const ProductRow& product = DefaultProduct(DeviceKind::Keyboard));
    ~CVantrelKeyboardDevice() override;

    int ApplyProfile() override;
    int ReadFromDevice() override;
    void ReloadSettings() override;
    void LoadAssignments() override;
    void PruneMacroKeys();
    int WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight) override;
    int WriteAllSettings() override;

    // Custom colours (mode 20): CustomColours.
    void SwitchCustomGroup(int group) override;
    void RedrawCustomLighting() override;
    // Every key lit in the current colour (1) or dark (0); kept in the
    // profile only when store (a group is chosen on the panel).
    void SetCustomColour(int on, bool store) override;
    bool Custom() const override { return GetLightInfo().selectItem == kCustomColourMode; }
    // The LED frame as key colours (the custom colours in mode 20).
    std::vector<KeyColour> FrameColours() const;
    int LoadCustomColours();

    // The active record; false when it could not be read (the model is kept).
    bool ReadSettingsRecord();
    int ReadColourPage();
    // Key i takes the current colour, in the profile and on the device (mode 20 only).
    int WriteColourPage(size_t key) override;
    // Several keys at once (a rubber band): one page write.
    int WriteColourPage(const std::vector<size_t>& keys) override;
    int WriteCustomColourPage();
    // After a reset the current group's colours from the profile, each
    // channel at its entry's level (channel × level / 256).
    void AfterProfileReset() override;
    int WriteLevelledColourPage();

    // KeyboardSettings
    int ChangeSetting(KeyboardSetting setting, int value) override;

    const std::array<uint8_t, kLogicalKeyCount>& KeyMap() const { return keyMap_; }
    const std::array<uint8_t, kLogicalKeyCount>& LedMap() const { return ledMap_; }
    const std::array<uint8_t, keyboard_record::kSize>& Record() const { return record_; }
    uint8_t ActiveRecordIndex() const { return activeRecord_; }
    KeyboardSystemWords SystemWords() const override { return system_; }
    void SetAssignments(const std::vector<KeyAssignmentPair>& assignments) { assignments_ = assignments; }
    CKeyboardProfiledata& Document() { return profile_; }
    std::string Translate(const std::string& key) const;

    // KeyAssignmentModel
    int KeyPanelKind() const override { return 1; }
    const std::vector<KeyAssignmentPair>& Assignments() const override { return assignments_; }
    void StoreAssignment(size_t index, const KeyAssignmentPair& pair) override;
    std::string MacroFolder() const override { return DataFolder(); }
    const Translator& Translation() const override { return translate_; }
    int ProfileDeviceIndex() const override { return profile_.GetDeviceIndex(); }
    std::vector<int> CollectUsedMacros() override;
    int WriteKeyAssignments(int page, const std::vector<int>& macros) override;
    int WriteMacros(const std::vector<int>& macros) override;
    int CustomGroup() const override { return customGroup_; }
    bool KeyIsFactory(size_t key) const override;
    bool KeyTableRead() const override { return KeyTablesCurrent(); }
    // The last key reaction a notification asked for: logical key, pressed.
    std::optional<std::pair<size_t, bool>> LastKeyReaction() const;

    // Spectrum bands for the audio mode (up to 25), and the fixed values
    // whose first three colour the keys in mode 30.
    void FeedKeyboardSpectrum(std::span<const int32_t> bands);
    void FeedAudioBands(const std::vector<int32_t>& bands);

protected:
    void OnNotification(uint16_t code, bool receiver) override;
    void LightingTick(uint32_t& ticks) override;
    bool StillEffect(int mode) const override;
    bool StreamsFrame() const override;
    int StreamFrame(const LedFrame& frame) override;
    uint32_t StepDueTicks() const override;

private:
    bool ReadKeyTables();
    bool KeyTablesCurrent() const;
    int ReadRecordBytes();
    bool LinkUp();
    // The frame's colours in a zeroed block of every LED position; keys
    // without a position, or one past the block, are left out.
    // levelled: each channel × the entry's level / 256.
    std::array<uint8_t, kColourPositions * 3> ColourBlock(bool levelled) const;
    int SendColourBlock(bool levelled = false);
    void StoreCustomColours();
    // The effect state restarts for the mode (entered, or the custom mode again).
    void EnterLightingMode(uint8_t mode);
    // The current group's colours in the profile (missing ones created) as the frame.
    void FrameFromProfileColours();

    Translator translate_;
    CKeyboardProfiledata profile_;
    std::vector<KeyAssignmentPair> assignments_;
    KeyboardSystemWords system_;
    std::array<uint8_t, kLogicalKeyCount> keyMap_{}, ledMap_{};
    std::vector<uint8_t> ledPositionImage_;
    std::array<uint8_t, keyboard_record::kSize> record_{};
    AttachmentMark keyTablesRead_, recordRead_;
    uint8_t activeRecord_ = 0;
    int customGroup_ = 0;
    uint8_t previousMode_ = 0xFF;
    bool groupListReload_ = false;  // a 0x0402 came: reload the profile list on the next reload
    // Written by the lighting thread under the frame lock; key reactions
    // from the notification thread change its shared bytes only.
    KeyboardEffects effects_;
    mutable std::mutex reactionMutex_;
    std::optional<std::pair<size_t, bool>> lastReaction_;
};

}  // namespace m470
