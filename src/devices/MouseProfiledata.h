#pragma once
// The mouse's profile document: the shared sections plus sensitivity stages,
// pointer settings, report rates and movement-correction presets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "profiles/BasicProfiledata.h"

namespace m470 {

// One sensitivity stage; the same 9 bytes go to the device.
struct DpiStage {
    uint8_t enabled = 0;
    uint8_t xy = 0;
    uint16_t dpiX = 0;  // slider position
    uint16_t dpiY = 0;
    uint8_t red = 0, green = 0, blue = 0;

    static constexpr size_t kSize = 9;
    std::array<uint8_t, kSize> ToBytes() const;
    static DpiStage FromBytes(const uint8_t* bytes);

    friend bool operator==(const DpiStage&, const DpiStage&) = default;
};

// Three 32-bit words and one 16-bit word:
//   word 0 = DoubleClickTime | MouseSpeed << 16
//   word 1 = PointerPrecision | ScorllPage << 16
//   word 2 = WheelScorlllinse | ReportStages.StageActive << 16
//   half   = ReportStages24g.StageActive24g
struct SystemSettings {
    std::array<uint32_t, 3> words{};
    uint16_t half = 0;

    uint16_t DoubleClickTime() const { return static_cast<uint16_t>(words[0]); }
    uint16_t MouseSpeed() const { return static_cast<uint16_t>(words[0] >> 16); }
    uint16_t PointerPrecision() const { return static_cast<uint16_t>(words[1]); }
    uint16_t ScrollPage() const { return static_cast<uint16_t>(words[1] >> 16); }
    uint16_t WheelScrollLines() const { return static_cast<uint16_t>(words[2]); }
    uint16_t WiredReportRate() const { return static_cast<uint16_t>(words[2] >> 16); }
    uint16_t ReceiverReportRate() const { return half; }

    friend bool operator==(const SystemSettings&, const SystemSettings&) = default;
};

SystemSettings MakeSystemSettings(uint16_t doubleClickTime, uint16_t mouseSpeed, uint16_t pointerPrecision,
                                  uint16_t scrollPage, uint16_t wheelScrollLines, uint16_t wiredReportRate,
                                  uint16_t receiverReportRate);

struct CorrectionPreset {
    uint8_t pixThresh = 0;
    uint8_t minSq = 0;
    uint8_t selected = 0;
    std::string name;

    friend bool operator==(const CorrectionPreset&, const CorrectionPreset&) = default;
};

// The mouse's settings model: the one copy of its stages, the active stage
// and the system values. The record is built from it and the profile
// document serializes it.
struct MouseSettings {
    std::vector<DpiStage> stages;
    int32_t activeStage = 0;
    SystemSettings system;

    friend bool operator==(const MouseSettings&, const MouseSettings&) = default;
};

class CMouseProfiledata : public CBasicProfiledata {
public:
    // The document's stages and active stage over the model's; a document
    // without stages leaves them, and stages beyond its list keep their values.
    void ReadStages(MouseSettings& model) const;
    // The model read from the document, the stages over those of base.
    MouseSettings ReadSettings(MouseSettings base) const;
    void WriteStages(const std::vector<DpiStage>& stages);
    void WriteActiveStage(int32_t stage);
    SystemSettings ReadSystemSettings() const;
    void WriteSystemSettings(const SystemSettings& settings);
    std::vector<CorrectionPreset> ReadCorrections();

private:
    std::vector<CorrectionPreset> corrections_;
};

}  // namespace m470
