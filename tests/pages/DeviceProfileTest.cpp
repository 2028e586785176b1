#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/Folders.h"
#include "pages/DeviceProfileUI.h"
#include "platform/JsonFile.h"
#include "profiles/ProfileFiles.h"
#include "ui/MemoryControlTree.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class ProfileStrip : public ::testing::Test {
protected:
    void SetUp() override {
        root = host.LoadLayout(GetInstallFolder() + "skin/deviceprofile.ui");
        ASSERT_NE(root, nullptr);
        std::filesystem::create_directories(Folder());
        folder.Write("DefaultData/HD.Json", R"({"Device": [{"LightInfo": {"Light": 2}, "CustomEQNameInfo": [],
                                                           "CustomEQHzValueInfo": []}]})");
        strip = std::make_unique<CDeviceProfileUI>(host, root);
        strip->SetDeviceKind(DeviceKind::Mouse);
        strip->SetFolders(Folder(), GetDefaultProfilePath("mouse"));
    }
    std::string Folder() const { return folder.File("data/M470/mouse/"); }
    Json::Value List() const { return LoadJson(Folder() + kProfileListFile); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        const Json::Value list = List();
        for (const Json::Value& entry : list["profilelist"]) names.push_back(entry["profilename"].asString());
        return names;
    }
    void AddNamed(const std::string& name) {
        strip->NewProfile();
        strip->SelectProfile(strip->RowCount() - 1, false);
        ASSERT_EQ(strip->RenameProfile(name), RenameResult::Renamed);
    }

    test::TempFolder folder;
    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    std::unique_ptr<CDeviceProfileUI> strip;
};

TEST_F(ProfileStrip, FirstConnectionCreatesProfileOne) {
    strip->InitProfiles();
    const Json::Value list = List();
    ASSERT_EQ(list["profilelist"].size(), 1u);
    EXPECT_EQ(list["profilelist"][0]["profilename"].asString(), "profile1");
    EXPECT_EQ(list["profilelist"][0]["profileislink"].asInt(), 0);
    EXPECT_EQ(list["profilelist"][0]["profilelinkmame"].asString(), "");
    EXPECT_EQ(list["profileselect"].asInt(), 0);
    const std::string uuid = list["profilelist"][0]["profileUUID"].asString();
    EXPECT_EQ(strip->GetCurrentUuid(), uuid);
    const Json::Value file = LoadJson(Folder() + uuid + ".Json");
    EXPECT_EQ(file["profilename"].asString(), "profile1");
    EXPECT_EQ(file["profileUUID"].asString(), uuid);
    EXPECT_EQ(strip->RowCount(), 1);
    EXPECT_EQ(strip->GetNameEditText(), "profile1");
    EXPECT_TRUE(ui::Ctl(host.Find("cursor_Op_tab")).Visible());  // a mouse shows every common tab
    EXPECT_FALSE(ui::Ctl(host.Find("magic_Op_tab")).Visible());
}

// Several entries repaired in one start (unsafe ids, a shared file, no id)
// each get an id of their own, and a second start leaves the list alone.
TEST_F(ProfileStrip, EntriesRepairedTogetherGetIdsOfTheirOwn) {
    folder.Write("data/M470/mouse/2024_01_01_00_00_00_000.Json", R"({"profilename": "same"})");
    folder.Write("data/M470/mouse/ProfileList.ini", R"({"profilelist": [
        {"profileUUID": "../../outside", "profilename": "a"},
        {"profileUUID": "2024_01_01_00_00_00_000", "profilename": "b"},
        {"profileUUID": "2024_01_01_00_00_00_000", "profilename": "c"},
        "not an entry", {"profilename": "e"}], "profileselect": 0})");
    strip->InitProfiles();
    std::set<std::string> ids;
    const Json::Value list = List();
    for (const Json::Value& entry : list["profilelist"]) ids.insert(entry["profileUUID"].asString());
    EXPECT_EQ(ids.size(), 5u);
    const std::string repaired = folder.Read("data/M470/mouse/ProfileList.ini");
    CDeviceProfileUI again(host, root);
    again.SetDeviceKind(DeviceKind::Mouse);
    again.SetFolders(Folder(), GetDefaultProfilePath("mouse"));
    again.InitProfiles();
    EXPECT_EQ(folder.Read("data/M470/mouse/ProfileList.ini"), repaired);
}

TEST_F(ProfileStrip, NewProfilesTakeTheSmallestFreeNumberUpToFifty) {
    strip->InitProfiles();
    AddNamed("Profile3");  // profile2 → renamed
    strip->NewProfile();
    EXPECT_EQ(Names(), (std::vector<std::string>{"profile1", "Profile3", "profile2"}));
    strip->NewProfile();
    EXPECT_EQ(Names().back(), "profile4");
    EXPECT_EQ(List()["profileselect"].asInt(), 3);
    EXPECT_EQ(strip->GetCurSel(), 3);  // the new profile is the chosen one, in the combo too
    const std::string newest = List()["profilelist"][3]["profileUUID"].asString();
    EXPECT_EQ(LoadJson(Folder() + newest + ".Json")["Device"][0]["LightInfo"]["Light"].asInt(), 3);  // from the factory file
    while (strip->RowCount() < kMaxProfiles) strip->NewProfile();
    strip->NewProfile();
    EXPECT_EQ(strip->RowCount(), kMaxProfiles);
    EXPECT_EQ(List()["profilelist"].size(), static_cast<Json::ArrayIndex>(kMaxProfiles));
}

TEST_F(ProfileStrip, CopiesAndImportsGetSuffixes) {
    strip->InitProfiles();
    ASSERT_EQ(strip->RenameProfile("abc"), RenameResult::Renamed);
    strip->CopyProfile();
    strip->CopyProfile();
    EXPECT_EQ(Names(), (std::vector<std::string>{"abc", "abc copy", "abc copy copy"}));
    folder.Write("import/abc.json", R"({"profilename": "x", "profileUUID": "y", "Device": [{"LightInfo": {"Red": 7}}]})");
    ASSERT_TRUE(strip->IsImportable(folder.File("import/abc.json")));
    strip->ImportProfile(folder.File("import/abc.json"));
    strip->ImportProfile(folder.File("import/abc.json"));
    EXPECT_EQ(Names()[3], "abc(1)");
    EXPECT_EQ(Names()[4], "abc(1)(2)");
    const Json::Value imported = LoadJson(strip->GetProfileFilePath(4));
    EXPECT_EQ(imported["profilename"].asString(), "abc(1)(2)");
    EXPECT_EQ(imported["Device"][0]["LightInfo"]["Red"].asInt(), 7);
    folder.Write("import/plain.json", R"({"Device": []})");
    EXPECT_FALSE(strip->IsImportable(folder.File("import/plain.json")));
    EXPECT_FALSE(strip->IsImportable(folder.File("import/missing.json")));

    strip->SelectProfile(0, false);
    EXPECT_EQ(strip->ExportProfile(folder.File("export/out.json")), ExportResult::WriteFailed);  // no such folder
    std::filesystem::create_directories(folder.File("export"));
    EXPECT_EQ(strip->ExportProfile(folder.File("export/out.json")), ExportResult::Exported);
    EXPECT_EQ(LoadJson(folder.File("export/out.json"))["profilename"].asString(), "abc");
}

TEST_F(ProfileStrip, DeleteNeverTheLastAndRowZeroOfThree) {
    strip->InitProfiles();
    strip->DeleteProfile();
    EXPECT_EQ(strip->RowCount(), 1);
    strip->NewProfile();
    strip->NewProfile();
    const std::string first = strip->GetProfileFilePath(0);
    ASSERT_TRUE(std::filesystem::exists(first));
    strip->SelectProfile(0, false);
    strip->DeleteProfile();
    EXPECT_EQ(Names(), (std::vector<std::string>{"profile2", "profile3"}));
    EXPECT_EQ(List()["profileselect"].asInt(), 0);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ(strip->RowCount(), 2);
}

TEST_F(ProfileStrip, DamagedListIsKeptAndRebuiltFromTheProfileFiles) {
    const std::string damaged = "{ \"profilelist\": [ {\"profilename\": \"lost\"";
    folder.Write("data/M470/mouse/ProfileList.ini", damaged);
    // Written out of order, one nameless, one with a name taken already, one not a profile id.
    folder.Write("data/M470/mouse/2024_03_01_10_00_00_500.Json", R"({"profilename": "Work", "Device": []})");
    folder.Write("data/M470/mouse/2023_12_31_23_59_59_999.Json", R"({"profilename": "Games", "Device": []})");
    folder.Write("data/M470/mouse/2024_03_01_10_00_00_500_.Json", R"({"profilename": "work"})");
    folder.Write("data/M470/mouse/2024_01_01_00_00_00_000.Json", R"({"Device": []})");
    folder.Write("data/M470/mouse/notes.Json", R"({"profilename": "Not one"})");
    strip->InitProfiles();
    EXPECT_EQ(folder.Read("data/M470/mouse/ProfileList.ini.bad"), damaged);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Games", "profile1", "Work", "profile2"}));
    EXPECT_EQ(List()["profilelist"][3]["profileUUID"].asString(), "2024_03_01_10_00_00_500_");
    EXPECT_EQ(List()["profileselect"].asInt(), 0);
    EXPECT_EQ(strip->RowCount(), 4);
    EXPECT_EQ(strip->GetCurrentUuid(), "2023_12_31_23_59_59_999");
    EXPECT_TRUE(TimestampIdBefore("2023_12_31_23_59_59_999", "2024_01_01_00_00_00_000"));
    EXPECT_TRUE(TimestampIdBefore("2024_1_2_0_0_0_0", "2024_01_10_00_00_00_000"));  // by number, not by text
}

TEST_F(ProfileStrip, IdsThatWouldLeaveTheFolderAreReplaced) {
    folder.Write("data/M470/mouse/ProfileList.ini",
                 R"({"profilelist": [{"profilename": "evil", "profileUUID": "../../escape"}], "profileselect": 0})");
    strip->InitProfiles();
    const std::string uuid = strip->GetCurrentUuid();
    EXPECT_TRUE(IsSafeFileId(uuid));
    EXPECT_EQ(List()["profilelist"][0]["profileUUID"].asString(), uuid);
    EXPECT_EQ(Names(), (std::vector<std::string>{"evil"}));
    strip->ResetProfile();
    EXPECT_TRUE(std::filesystem::exists(Folder() + uuid + ".Json"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("data/escape.Json")));
    // A list changed behind the strip's back gives no path at all.
    folder.Write("data/M470/mouse/ProfileList.ini",
                 R"({"profilelist": [{"profilename": "evil", "profileUUID": "../../escape"}], "profileselect": 0})");
    EXPECT_EQ(strip->GetProfileFilePath(0), "");
    strip->SelectProfile(0, false);
    EXPECT_EQ(strip->GetCurrentUuid(), "");
    strip->ResetProfile();
    EXPECT_FALSE(std::filesystem::exists(folder.File("data/escape.Json")));
}

// Two entries naming one file: deleting one must not take the other's settings.
TEST_F(ProfileStrip, EntriesSharingAFileGetAFileEach) {
    const std::string shared = "2026_01_01_10_00_00_000";
    folder.Write("data/M470/mouse/" + shared + ".Json", R"({"profilename": "A", "profileUUID": ")" + shared +
                                                             R"(", "Device": [{"LightInfo": {"Light": 4}}]})");
    folder.Write("data/M470/mouse/ProfileList.ini", R"({"profilelist": [{"profilename": "A", "profileUUID": ")" + shared +
                                                        R"("}, {"profilename": "B", "profileUUID": ")" + shared +
                                                        R"("}], "profileselect": 1})");
    strip->InitProfiles();
    const Json::Value list = List();
    ASSERT_EQ(list["profilelist"].size(), 2u);
    EXPECT_EQ(list["profilelist"][0]["profileUUID"].asString(), shared);
    const std::string second = list["profilelist"][1]["profileUUID"].asString();
    EXPECT_NE(second, shared);
    EXPECT_TRUE(IsSafeFileId(second));
    EXPECT_EQ(strip->GetCurrentUuid(), second);
    // The second entry starts from a copy of the settings both showed, under its own name.
    const Json::Value copy = LoadJson(Folder() + second + ".Json");
    EXPECT_EQ(copy["profilename"].asString(), "B");
    EXPECT_EQ(copy["profileUUID"].asString(), second);
    EXPECT_EQ(copy["Device"][0]["LightInfo"]["Light"].asInt(), 4);
    strip->DeleteProfile();  // B, the chosen one
    EXPECT_EQ(LoadJson(Folder() + shared + ".Json")["Device"][0]["LightInfo"]["Light"].asInt(), 4);
    EXPECT_FALSE(std::filesystem::exists(Folder() + second + ".Json"));
}

TEST_F(ProfileStrip, ImportsOfTheWrongShapeAreRefused) {
    strip->InitProfiles();
    const auto importable = [&](const std::string& text) {
        folder.Write("import/p.json", text);
        return strip->IsImportable(folder.File("import/p.json"));
    };
    EXPECT_TRUE(importable(R"({"profilename": "a", "profileUUID": "b", "Device": [{"LightInfo": {"Red": 7, "MultiColor": true}}]})"));
    EXPECT_FALSE(importable(R"({"profilename": "a", "profileUUID": "b", "Device": [{"KeyList": "none"}]})"));
    EXPECT_FALSE(importable(R"({"profilename": "a", "profileUUID": "b", "Device": [{"LightInfo": {"Red": "7"}}]})"));
    EXPECT_FALSE(importable(R"({"profilename": "a", "profileUUID": "b", "Device": [{"KeyList": [{"Assignment": []}]}]})"));
    EXPECT_FALSE(importable(R"({"profilename": "a", "profileUUID": "b", "Device": {"LightInfo": {}}})"));
    EXPECT_FALSE(importable(R"({"profilename": 5, "profileUUID": "b"})"));
    EXPECT_EQ(CDeviceProfileUI::WithJsonExtension("/home/u/mine"), "/home/u/mine.json");
    EXPECT_EQ(CDeviceProfileUI::WithJsonExtension("/home/u.d/mine"), "/home/u.d/mine.json");
    EXPECT_EQ(CDeviceProfileUI::WithJsonExtension("/home/u/mine.txt"), "/home/u/mine.txt");
    std::filesystem::create_directories(folder.File("export"));
    EXPECT_EQ(strip->ExportProfile(folder.File("export/out")), ExportResult::Exported);
    EXPECT_EQ(LoadJson(folder.File("export/out.json"))["profilename"].asString(), "profile1");
}

TEST_F(ProfileStrip, NamesAreCappedAndEveryWayOfAddingKeepsTheLimit) {
    const std::string huge(600000, 'n');
    Json::Value list;
    list["profilelist"][0]["profilename"] = huge;
    list["profilelist"][0]["profileUUID"] = "2024_01_01_00_00_00_000";
    list["profileselect"] = 0;
    SaveJson(Folder() + kProfileListFile, list);
    strip->InitProfiles();
    EXPECT_EQ(strip->RowText(0), std::string(kMaxProfileNameLength, 'n'));
    EXPECT_EQ(Names()[0], std::string(kMaxProfileNameLength, 'n'));
    // Code points, not bytes: 70 two-byte letters keep 64 whole ones.
    std::string umlauts;
    for (int i = 0; i < 70; ++i) umlauts += "ü";
    ASSERT_EQ(strip->RenameProfile(umlauts), RenameResult::Renamed);
    EXPECT_EQ(Names()[0].size(), 2 * kMaxProfileNameLength);
    folder.Write("import/" + std::string(100, 'i') + ".json", R"({"profilename": "x", "profileUUID": "y"})");
    ASSERT_TRUE(strip->ImportProfile(folder.File("import/" + std::string(100, 'i') + ".json")));
    ASSERT_TRUE(strip->ImportProfile(folder.File("import/" + std::string(100, 'i') + ".json")));
    EXPECT_EQ(Names()[1], std::string(kMaxProfileNameLength, 'i'));
    EXPECT_EQ(Names()[2], std::string(kMaxProfileNameLength - 4, 'i') + " (2)");
    while (strip->RowCount() < kMaxProfiles) ASSERT_TRUE(strip->CopyProfile());
    EXPECT_FALSE(strip->CopyProfile());
    EXPECT_FALSE(strip->ImportProfile(folder.File("import/" + std::string(100, 'i') + ".json")));
    EXPECT_FALSE(strip->NewProfile());
    EXPECT_EQ(strip->RowCount(), kMaxProfiles);
    EXPECT_EQ(List()["profilelist"].size(), static_cast<Json::ArrayIndex>(kMaxProfiles));
}

TEST_F(ProfileStrip, DeletingChoosesTheProfileNowShown) {
    strip->InitProfiles();
    strip->NewProfile();
    strip->NewProfile();
    ASSERT_EQ(strip->GetCurSel(), 2);
    const std::string previous = List()["profilelist"][1]["profileUUID"].asString();
    strip->DeleteProfile();
    EXPECT_EQ(strip->GetCurSel(), 1);
    EXPECT_EQ(strip->GetCurrentUuid(), previous);
    EXPECT_EQ(strip->GetNameEditText(), "profile2");
    EXPECT_EQ(List()["profileselect"].asInt(), 1);
}

TEST_F(ProfileStrip, RenameRefusesBlankAndUsedNames) {
    strip->InitProfiles();
    strip->NewProfile();
    strip->SelectProfile(0, false);
    EXPECT_EQ(strip->RenameProfile("  "), RenameResult::Blank);
    EXPECT_EQ(strip->RenameProfile("PROFILE2"), RenameResult::NameUsed);
    EXPECT_EQ(strip->RenameProfile("Profile1"), RenameResult::Renamed);  // its own name, another case
    EXPECT_EQ(Names()[0], "Profile1");
    EXPECT_EQ(LoadJson(strip->GetProfileFilePath(0))["profilename"].asString(), "Profile1");
    EXPECT_EQ(strip->RenameProfile("Ünder"), RenameResult::Renamed);
    strip->SelectProfile(1, false);
    EXPECT_EQ(strip->RenameProfile("ünder"), RenameResult::NameUsed);
}

TEST_F(ProfileStrip, ChosenProfileIsTheOneAtTheNextStart) {
    strip->InitProfiles();
    strip->NewProfile();
    strip->SelectProfile(1, false);
    const std::string chosen = strip->GetCurrentUuid();
    CDeviceProfileUI again(host, root);
    again.SetDeviceKind(DeviceKind::Mouse);
    again.SetFolders(Folder(), GetDefaultProfilePath("mouse"));
    again.InitProfiles();
    EXPECT_EQ(again.GetCurrentUuid(), chosen);
    EXPECT_EQ(again.GetCurSel(), 1);
}

TEST_F(ProfileStrip, HeadsetResetKeepsItsEqualiserPresets) {
    strip->SetDeviceKind(DeviceKind::Headset);
    strip->SetFolders(Folder(), folder.File("DefaultData/HD.Json"));
    strip->InitProfiles();
    EXPECT_TRUE(ui::Ctl(host.Find("magic_Op_tab")).Visible());
    EXPECT_FALSE(ui::Ctl(host.Find("key_Op_tab")).Visible());
    Json::Value current = LoadJson(strip->GetProfileFilePath(0));
    current["Device"][0]["LightInfo"]["Light"] = 4;
    current["Device"][0]["CustomEQNameInfo"][0]["Name"] = "Mine";
    current["Device"][0]["CustomEQHzValueInfo"][0][0]["value"] = 9;
    SaveJson(strip->GetProfileFilePath(0), current);
    strip->ResetProfile();
    const Json::Value reset = LoadJson(strip->GetProfileFilePath(0));
    EXPECT_EQ(reset["Device"][0]["LightInfo"]["Light"].asInt(), 2);
    EXPECT_EQ(reset["Device"][0]["CustomEQNameInfo"][0]["Name"].asString(), "Mine");
    EXPECT_EQ(reset["Device"][0]["CustomEQHzValueInfo"][0][0]["value"].asInt(), 9);
    EXPECT_EQ(reset["profilename"].asString(), "profile1");
}

TEST_F(ProfileStrip, TabsSelectOneAtATime) {
    strip->InitProfiles();
    strip->SelectTab(2);
    EXPECT_TRUE(ui::Ctl(host.Find("key_Op_tab")).Selected());
    EXPECT_FALSE(ui::Ctl(host.Find("deng_Op_tab")).Selected());
    strip->SelectTab(9);
    EXPECT_FALSE(ui::Ctl(host.Find("key_Op_tab")).Selected());
    strip->ShowProfileMenu(true);
    EXPECT_TRUE(strip->IsProfileMenuVisible());
}

// A link belongs to its profile: every operation of the strip keeps it in the
// list file, and new, copied and imported profiles start unlinked.
TEST_F(ProfileStrip, ALinkSurvivesEveryOperationAndNewEntriesStartUnlinked) {
    strip->InitProfiles();
    ASSERT_TRUE(strip->LinkCurrent("/usr/games/racer"));
    const auto Link = [this](int row) {
        const Json::Value entry = List()["profilelist"][row];
        return entry["profileislink"].asString() + " " + entry["profilelinkmame"].asString();
    };
    EXPECT_EQ(Link(0), "1 /usr/games/racer");
    ASSERT_EQ(strip->RenameProfile("racing"), RenameResult::Renamed);
    ASSERT_TRUE(strip->NewProfile());  // row 1, chosen
    ASSERT_TRUE(strip->CopyProfile());  // row 2, a copy of row 1
    strip->SelectProfile(0, false);
    ASSERT_TRUE(strip->CopyProfile());  // row 3, a copy of the linked row
    folder.Write("import/abc.json", R"({"profilename": "x", "profileUUID": "y", "profileislink": 1, "profilelinkmame": "z"})");
    ASSERT_TRUE(strip->ImportProfile(folder.File("import/abc.json")));  // row 4
    strip->SelectProfile(1, false);
    strip->DeleteProfile();
    EXPECT_EQ(Names(), (std::vector<std::string>{"racing", "profile1 copy", "racing copy", "abc"}));
    EXPECT_EQ(Link(0), "1 /usr/games/racer");
    for (int row = 1; row < 4; ++row) EXPECT_EQ(Link(row), "0 ") << row;
    // A second start reads it back, and the strip shows it with the profile.
    CDeviceProfileUI again(host, root);
    again.SetFolders(Folder(), GetDefaultProfilePath("mouse"));
    again.InitProfiles();
    EXPECT_EQ(again.GetCurSel(), 0);
    EXPECT_EQ(again.LinkedProgram(0), "/usr/games/racer");
    EXPECT_EQ(ui::Ctl(host.Find("device_link_program")).Text(), "racer");
    EXPECT_TRUE(ui::Ctl(host.Find("device_unlink_btn")).Visible());
    ASSERT_TRUE(again.LinkCurrent(""));
    EXPECT_EQ(Link(0), "0 ");
    EXPECT_FALSE(ui::Ctl(host.Find("device_unlink_btn")).Visible());
}

// Lists of older versions: both members 0 and empty, or no members at all;
// they stay as written and link nothing.
TEST_F(ProfileStrip, AListOfAnOlderVersionLinksNothingAndKeepsItsForm) {
    folder.Write("data/M470/mouse/ProfileList.ini", R"({"profilelist": [
        {"profilename": "a", "profileUUID": "2024_01_01_00_00_00_001", "profileislink": 0, "profilelinkmame": ""},
        {"profilename": "b", "profileUUID": "2024_01_01_00_00_00_002", "profileislink": 0, "profilelinkmame": "old"},
        {"profilename": "c", "profileUUID": "2024_01_01_00_00_00_003"}], "profileselect": 2})");
    strip->InitProfiles();
    for (int row = 0; row < 3; ++row) EXPECT_EQ(strip->LinkedProgram(row), "") << row;
    EXPECT_FALSE(ui::Ctl(host.Find("device_unlink_btn")).Visible());
    strip->SelectProfile(1, false);
    const Json::Value list = List();
    EXPECT_EQ(list["profilelist"][1]["profilelinkmame"].asString(), "old");
    EXPECT_FALSE(list["profilelist"][2].isMember("profileislink"));
    EXPECT_EQ(list["profileselect"].asInt(), 1);
}

}  // namespace
}  // namespace m470
