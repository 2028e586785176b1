#include <gtest/gtest.h>

#include "devices/MouseProfiledata.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

std::string StagesDocument(int count, int base) {
    std::string stages;
    for (int i = 0; i < count; ++i) {
        if (i) stages += ",";
        stages += "{\"StageActive\": 1, \"StageXY\": " + std::to_string(i) + ", \"StageDPIX\": " +
                  std::to_string(base + i) + ", \"StageDPIY\": " + std::to_string(base + i) +
                  ", \"StageColorR\": 300, \"StageColorG\": 2, \"StageColorB\": 3}";
    }
    return "{\"Device\": [{\"DPIStages\": {\"StageActive\": 2, \"StageDPIs\": [" + stages + "]}}]}";
}

class MouseDocument : public ::testing::Test {
protected:
    Json::Value Load(const std::string& content) {
        folder.Write("p.Json", content);
        document.SetProfilePath(folder.File("p.Json"));
        return document.LoadDeviceSection(folder.File("p.Json"));
    }
    test::TempFolder folder;
    CMouseProfiledata document;
};

TEST_F(MouseDocument, StagesMergeIntoTheStoredListAndKeepWidths) {
    MouseSettings model;
    Load(StagesDocument(6, 300));
    document.ReadStages(model);
    const std::vector<DpiStage>& stages = model.stages;
    ASSERT_EQ(stages.size(), 6u);
    EXPECT_EQ(stages[5].dpiX, 305);       // 16 bits kept
    EXPECT_EQ(stages[0].red, 44);         // 300 → low byte
    EXPECT_EQ(model.activeStage, 2);

    Load(StagesDocument(4, 10));
    document.ReadStages(model);
    ASSERT_EQ(stages.size(), 6u);
    EXPECT_EQ(stages[3].dpiX, 13);
    EXPECT_EQ(stages[4].dpiX, 304);  // from the earlier read
    EXPECT_EQ(stages[5].dpiX, 305);

    Load(R"({"Device": [{}]})");
    const MouseSettings before = model;
    document.ReadStages(model);
    EXPECT_EQ(model, before);  // no "DPIStages": unchanged
}

TEST_F(MouseDocument, WritingStagesAndActiveStageTouchOnlyTheirMembers) {
    Load(StagesDocument(2, 5));
    std::vector<DpiStage> stages = document.ReadSettings({}).stages;
    stages[1] = DpiStage{0, 7, 0x1234, 0x4321, 9, 8, 7};
    document.WriteStages(stages);
    const Json::Value& dpi = document.Section()["DPIStages"];
    EXPECT_EQ(dpi["StageActive"].asInt(), 2);
    EXPECT_EQ(dpi["StageDPIs"][1]["StageDPIX"].asInt(), 0x1234);
    EXPECT_EQ(dpi["StageDPIs"][1]["StageXY"].asInt(), 7);
    EXPECT_EQ(dpi["StageDPIs"][1]["StageActive"].asInt(), 0);

    const Json::Value before = dpi["StageDPIs"];
    document.WriteActiveStage(4);
    EXPECT_EQ(document.Section()["DPIStages"]["StageActive"].asInt(), 4);
    EXPECT_EQ(document.Section()["DPIStages"]["StageDPIs"], before);
    ASSERT_TRUE(document.Save());
    CMouseProfiledata reloaded;
    reloaded.LoadDeviceSection(folder.File("p.Json"));
    const MouseSettings read = reloaded.ReadSettings({});
    EXPECT_EQ(read.stages, stages);
    EXPECT_EQ(read.activeStage, 4);
}

TEST_F(MouseDocument, StageBytesAreLittleEndian) {
    DpiStage stage{1, 2, 0x1234, 0xABCD, 5, 6, 7};
    EXPECT_EQ(stage.ToBytes(), (std::array<uint8_t, 9>{1, 2, 0x34, 0x12, 0xCD, 0xAB, 5, 6, 7}));
    EXPECT_EQ(DpiStage::FromBytes(stage.ToBytes().data()), stage);
}

TEST_F(MouseDocument, SystemSettingsNeedTheirObject) {
    Load(R"({"Device": [{"ReportStages": {"StageActive": 3}, "ReportStages24g": {"StageActive24g": 2}}]})");
    EXPECT_EQ(document.ReadSystemSettings(), SystemSettings{});

    Load(R"({"Device": [{"SystemStages": {"DoubleClickTime": 70000, "MouseSpeed": 10, "PointerPrecision": 1,
                          "ScorllPage": 1, "WheelScorlllinse": 3}, "ReportStages": {"StageActive": 3}}]})");
    const SystemSettings read = document.ReadSystemSettings();
    EXPECT_EQ(read.DoubleClickTime(), 70000 & 0xFFFF);
    EXPECT_EQ(read.words[0], (70000u & 0xFFFF) | 10u << 16);
    EXPECT_EQ(read.words[1], 1u | 1u << 16);
    EXPECT_EQ(read.words[2], 3u | 3u << 16);
    EXPECT_EQ(read.half, 0);
}

TEST_F(MouseDocument, SystemSettingsWriteAllSevenMembers) {
    Load(R"({"Device": [{}]})");
    document.WriteSystemSettings(MakeSystemSettings(1, 2, 3, 4, 5, 6, 7));
    const Json::Value& section = document.Section();
    EXPECT_EQ(section["SystemStages"]["DoubleClickTime"].asInt(), 1);
    EXPECT_EQ(section["SystemStages"]["MouseSpeed"].asInt(), 2);
    EXPECT_EQ(section["SystemStages"]["PointerPrecision"].asInt(), 3);
    EXPECT_EQ(section["SystemStages"]["ScorllPage"].asInt(), 4);
    EXPECT_EQ(section["SystemStages"]["WheelScorlllinse"].asInt(), 5);
    EXPECT_EQ(section["ReportStages"]["StageActive"].asInt(), 6);
    EXPECT_EQ(section["ReportStages24g"]["StageActive24g"].asInt(), 7);
    EXPECT_EQ(document.ReadSystemSettings(), MakeSystemSettings(1, 2, 3, 4, 5, 6, 7));
}

TEST_F(MouseDocument, CorrectionsReplaceTheStoredList) {
    Load(R"({"Device": [{"CorrectInfo": [{"CorrectPixThresh": 4, "CorrectMinSq": 8, "CorrectSelect": 256,
                                          "CorrectName": "Light"}, {"CorrectSelect": 1}]}]})");
    const auto presets = document.ReadCorrections();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0], (CorrectionPreset{4, 8, 0, "Light"}));
    EXPECT_EQ(presets[1].selected, 1);
    Load(R"({"Device": [{}]})");
    EXPECT_EQ(document.ReadCorrections().size(), 2u);
}

TEST(MouseFactoryData, DefaultFileHoldsEveryMemberTheMouseReads) {
    test::TempFolder folder;
    CMouseProfiledata document;
    document.SetDefaultPath(GetDefaultProfilePath("mouse"));
    const Json::Value section = document.LoadDeviceSection(folder.File("p.Json"));
    ASSERT_TRUE(section.isObject()) << GetDefaultProfilePath("mouse");
    for (const char* member : {"LightInfo", "AudioLightInfo", "LightList", "KeyList", "DPIStages", "SystemStages",
                               "ReportStages", "ReportStages24g", "CorrectInfo"})
        EXPECT_TRUE(section.isMember(member)) << member;
    EXPECT_EQ(document.ReadSettings({}).stages.size(), 6u);
    const auto keys = document.ReadKeyList();
    ASSERT_EQ(keys.size(), 12u);
    EXPECT_EQ(keys[0].defaults, (KeyAssignment{0, 0x10, 0x01, 0x00, 0}));
    EXPECT_EQ(keys[9].defaults, (KeyAssignment{9, 0x16, 0x90, 0x01, 0}));
    EXPECT_EQ(keys[10].defaults, (KeyAssignment{10, 0x14, 0x78, 0x02, 0}));
    EXPECT_EQ(keys[11].defaults, (KeyAssignment{11, 0xA0, 0x35, 0x00, 0}));
    int selected = 0;
    for (const auto& preset : document.ReadCorrections()) selected += preset.selected != 0;
    EXPECT_EQ(selected, 1);
}

}  // namespace
}  // namespace m470
