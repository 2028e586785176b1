#pragma once
// A mouse (kind 2), by cable or through its receiver; its models are rows of Products.h.
#include <array>
#include <optional>

#include "devices/KeyAssignmentModel.h"
#include "devices/MouseProfiledata.h"
#include "devices/RecoilUpload.h"
#include "devices/RecordLight.h"
#include "devices/SensitivityScale.h"
#include "devices/SensitivityStages.h"
#include "devices/SystemFlags.h"
#include "devices/VantrelUSBDevice.h"
#include "keys/KeyCaption.h"

namespace m470 {

namespace mouse_record {
using namespace record_light;  // the shared head, bytes 0-8
inline constexpr size_t kCleared = 9;
inline constexpr size_t kWiredReportRate = 11;
inline constexpr size_t kActiveStage = 12;
inline constexpr size_t kStages = 14;  // six DpiStage records of 9 bytes
inline constexpr size_t kFlag = 68;
inline constexpr size_t kScreenWidth = 69;
inline constexpr size_t kScreenHeight = 71;
inline constexpr size_t kCorrectMinSq = 73;
inline constexpr size_t kCorrectPixThresh = 74;
inline constexpr size_t kReceiverReportRate = 77;
inline constexpr size_t kSize = 87;
inline constexpr size_t kStride = 128;
}  // namespace mouse_record

// The model's part of the record (active stage, stages, the report rate of
// the link in use) put over bytes, the rest left as they are.
void PutSettings(const MouseSettings& model, bool receiver, std::array<uint8_t, mouse_record::kSize>& bytes);

inline constexpr size_t kMouseButtons = 12;
inline constexpr uint8_t kHighestMouseMode = 11;  // modes above it are written as mode 0
inline constexpr uint8_t kMissingSlot = 170;

struct MouseButtonRow {
    uint8_t type, param1, param2;
    const char* nameKey;
};
// The 12 logical buttons by their factory functions.
inline constexpr std::array<MouseButtonRow, kMouseButtons> kMouseLogicalButtons{{
    {0x10, 0x01, 0x00, "mouse_key_left"},     {0x10, 0x02, 0x00, "mouse_key_right"},
    {0x10, 0x04, 0x00, "mouse_key_middle"},   {0x10, 0x10, 0x00, "mouse_key_forward"},
    {0x10, 0x08, 0x00, "mouse_key_back"},     {0x13, 0x01, 0x00, "mouse_key_DPI_add"},
    {0x13, 0x02, 0x00, "mouse_key_DPI_sub"},  {0x13, 0x03, 0x00, "mouse_key_DPI_loop"},
    {0xA0, 0x1B, 0x00, "keyboard_key_GM"},    {0x16, 0x90, 0x01, "mouse_key_M8_key"},
    {0x14, 0x78, 0x02, "mouse_key_fire_key"}, {0xA0, 0x35, 0x00, "mouse_key_mode_cut_key"},
}};

class CVantrelMouseDevice : public CVantrelUSBDevice,
                            public KeyAssignmentModel,
                            public SensitivityStages,
                            public SystemFlags,
                            public RecoilUpload {
public:
    explicit CVantrelMouseDevice(std::shared_ptr<HidBackend> backend = nullptr, Translator translate = nullptr,
                                 const ProductRow& product = DefaultProduct(DeviceKind::Mouse));
    ~CVantrelMouseDevice() override;

    int ApplyProfile() override;
    int ReadFromDevice() override;
    void ReloadSettings() override;
    void LoadAssignments() override;
    // Settings to listeners, then the record when a screen size is known.
    void PublishSettings();
    void PruneMacroKeys();
    int WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight) override;
    int WriteAllSettings() override;

    bool ReadSettingsRecord();
    // RecoilUpload (command 0x17)
    int WriteRecoilPatterns() override;

    // ---- the settings model, as the page edits it ----
    // SensitivityStages
    const std::vector<DpiStage>& Stages() const override { return settings_.stages; }
    int ActiveStage() const override { return settings_.activeStage; }
    bool SetStageEnabled(size_t stage, bool enabled) override;
    void SetStagePosition(size_t stage, int position) override;
    void SetActiveStage(int stage) override;
    bool SetStageColour(size_t stage, uint32_t rgb) override;
    int CommitStages() override;
    // SystemFlags
    const SystemSettings& System() const override { return settings_.system; }
    int CommitSystem(const SystemSettings& settings, bool write) override;
    std::string Translate(const std::string& key) const;

    // KeyAssignmentModel
    int KeyPanelKind() const override { return 2; }
    const std::vector<KeyAssignmentPair>& Assignments() const override { return assignments_; }
    void StoreAssignment(size_t index, const KeyAssignmentPair& pair) override;
    std::string MacroFolder() const override { return DataFolder(); }
    bool KeyIsFactory(size_t button) const override;
    bool KeyTableRead() const override { return keyTableRead_.Current(transport_); }
    const Translator& Translation() const override { return translate_; }
    int ProfileDeviceIndex() const override { return profile_.GetDeviceIndex(); }
    std::vector<int> CollectUsedMacros() override;
    int WriteKeyAssignments(int page, const std::vector<int>& macros) override;
    int WriteMacros(const std::vector<int>& macros) override;

    const std::array<uint8_t, kMouseButtons>& SlotMap() const { return slotMap_; }
    const std::array<uint8_t, mouse_record::kSize>& Record() const { return record_; }
    const MouseSettings& Settings() const { return settings_; }
    uint8_t ActiveRecordIndex() const { return activeRecord_; }
    void SetAssignments(const std::vector<KeyAssignmentPair>& assignments) { assignments_ = assignments; }
    CMouseProfiledata& Document() { return profile_; }
    SensitivityScale Scale() const override { return SensitivityScale::From(deviceInfo_); }

protected:
    void OnNotification(uint16_t code, bool receiver) override;
    void LightingTick(uint32_t& ticks) override { StepModeTable(ticks); }
    uint32_t StepDueTicks() const override { return ModeTableDueTicks(); }
    bool StillEffect(int mode) const override { return mode == 2 || mode == 3; }  // static, off
    bool StreamsFrame() const override { return StreamsAudioFrame(); }
    int StreamFrame(const LedFrame& frame) override { return StreamFrameBytes(frame); }

private:
    bool ReadKeyTableImage();
    // The key-table image was read from the device attached now, at its length.
    bool KeyTableImageCurrent() const;
    // The record bytes alone (index and 87 bytes): the model is left as it is.
    int ReadRecordBytes();
    bool LinkUp();
    std::vector<int> MacroNumbering() const;
    int SaveAndWrite();
    // The model from the profile document just loaded.
    void LoadSettings();

    Translator translate_;
    CMouseProfiledata profile_;
    std::vector<KeyAssignmentPair> assignments_;
    MouseSettings settings_;
    std::array<uint8_t, kMouseButtons> slotMap_{};
    std::array<uint8_t, mouse_record::kSize> record_{};
    AttachmentMark keyTableRead_, recordRead_;
    uint8_t activeRecord_ = 0;
    uint8_t previousMode_ = 0xFF;
};

}  // namespace m470
