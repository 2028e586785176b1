#include "devices/MouseProfiledata.h"

#include "platform/JsonFile.h"

namespace m470 {

std::array<uint8_t, DpiStage::kSize> DpiStage::ToBytes() const {
    return {enabled,
            xy,
            static_cast<uint8_t>(dpiX),
            static_cast<uint8_t>(dpiX >> 8),
            static_cast<uint8_t>(dpiY),
            static_cast<uint8_t>(dpiY >> 8),
            red,
            green,
            blue};
}

DpiStage DpiStage::FromBytes(const uint8_t* b) {
    return DpiStage{b[0], b[1], static_cast<uint16_t>(b[2] | b[3] << 8), static_cast<uint16_t>(b[4] | b[5] << 8),
                    b[6], b[7], b[8]};
}

SystemSettings MakeSystemSettings(uint16_t doubleClickTime, uint16_t mouseSpeed, uint16_t pointerPrecision,
                                  uint16_t scrollPage, uint16_t wheelScrollLines, uint16_t wiredReportRate,
                                  uint16_t receiverReportRate) {
    SystemSettings settings;
    settings.words[0] = doubleClickTime | static_cast<uint32_t>(mouseSpeed) << 16;
    settings.words[1] = pointerPrecision | static_cast<uint32_t>(scrollPage) << 16;
    settings.words[2] = wheelScrollLines | static_cast<uint32_t>(wiredReportRate) << 16;
    settings.half = receiverReportRate;
    return settings;
}

void CMouseProfiledata::ReadStages(MouseSettings& model) const {
    const Json::Value& stages = Member(Section(), "DPIStages");
    if (stages.isNull()) return;
    model.activeStage = static_cast<int32_t>(JsonDword(Member(stages, "StageActive")));
    const Json::Value& list = Member(stages, "StageDPIs");
    if (!list.isArray()) return;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const Json::Value& element = list[i];
        DpiStage stage{JsonByte(Member(element, "StageActive")),  JsonByte(Member(element, "StageXY")),
                       JsonWord(Member(element, "StageDPIX")),    JsonWord(Member(element, "StageDPIY")),
                       JsonByte(Member(element, "StageColorR")), JsonByte(Member(element, "StageColorG")),
                       JsonByte(Member(element, "StageColorB"))};
        if (i < model.stages.size())
            model.stages[i] = stage;
        else
            model.stages.push_back(stage);
    }
}

MouseSettings CMouseProfiledata::ReadSettings(MouseSettings base) const {
    ReadStages(base);
    base.system = ReadSystemSettings();
    return base;
}

void CMouseProfiledata::WriteStages(const std::vector<DpiStage>& stages) {
    Json::Value& list = MutableMember(MutableMember(Section(), "DPIStages"), "StageDPIs");
    for (size_t i = 0; i < stages.size(); ++i) {
        Json::Value& element = MutableElement(list, static_cast<Json::ArrayIndex>(i));
        const DpiStage& stage = stages[i];
        MutableMember(element, "StageActive") = stage.enabled;
        element["StageXY"] = stage.xy;
        element["StageDPIX"] = stage.dpiX;
        element["StageDPIY"] = stage.dpiY;
        element["StageColorR"] = stage.red;
        element["StageColorG"] = stage.green;
        element["StageColorB"] = stage.blue;
    }
}

void CMouseProfiledata::WriteActiveStage(int32_t stage) {
    MutableMember(MutableMember(Section(), "DPIStages"), "StageActive") = stage;
}

SystemSettings CMouseProfiledata::ReadSystemSettings() const {
    const Json::Value& system = Member(Section(), "SystemStages");
    if (system.isNull()) return SystemSettings{};
    return MakeSystemSettings(
        JsonWord(Member(system, "DoubleClickTime")), JsonWord(Member(system, "MouseSpeed")),
        JsonWord(Member(system, "PointerPrecision")), JsonWord(Member(system, "ScorllPage")),
        JsonWord(Member(system, "WheelScorlllinse")), JsonWord(Member(Member(Section(), "ReportStages"), "StageActive")),
        JsonWord(Member(Member(Section(), "ReportStages24g"), "StageActive24g")));
}

void CMouseProfiledata::WriteSystemSettings(const SystemSettings& settings) {
    Json::Value& system = MutableMember(Section(), "SystemStages");
    system["DoubleClickTime"] = settings.DoubleClickTime();
    system["MouseSpeed"] = settings.MouseSpeed();
    system["PointerPrecision"] = settings.PointerPrecision();
    system["ScorllPage"] = settings.ScrollPage();
    system["WheelScorlllinse"] = settings.WheelScrollLines();
    MutableMember(MutableMember(Section(), "ReportStages"), "StageActive") = settings.WiredReportRate();
    MutableMember(MutableMember(Section(), "ReportStages24g"), "StageActive24g") = settings.ReceiverReportRate();
}

std::vector<CorrectionPreset> CMouseProfiledata::ReadCorrections() {
    const Json::Value& list = Member(Section(), "CorrectInfo");
    if (list.isArray()) {
        corrections_.clear();
        for (const Json::Value& element : list)
            corrections_.push_back({JsonByte(Member(element, "CorrectPixThresh")),
                                    JsonByte(Member(element, "CorrectMinSq")),
                                    JsonByte(Member(element, "CorrectSelect")), JsonText(Member(element, "CorrectName"))});
    }
    return corrections_;
}

}  // namespace m470
