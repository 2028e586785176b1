// Files that cannot be read, damaged files, leftovers of killed saves and
// texts a save could not give back.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "macros/MacroFiles.h"
#include "platform/AtomicFile.h"
#include "platform/FileAlerts.h"
#include "platform/Registry.h"
#include "profiles/BasicProfiledata.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

namespace m470 {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class FileHardening : public ::testing::Test {
protected:
    void SetUp() override {
        TakeFileAlert();
        folder.Write("default.Json", R"({"Device": [{"LightInfo": {"Light": 3}}]})");
        profile.SetDefaultPath(folder.File("default.Json"));
    }
    test::TempFolder folder;
    CBasicProfiledata profile;
};

TEST_F(FileHardening, AFileThatCannotBeOpenedIsKeptAndNeverWritten) {
    const std::string path = folder.File("p.Json");
    const std::string mine = R"({"profilename": "mine", "Device": [{"LightInfo": {"Light": 1}}]})";
    folder.Write("p.Json", mine);
    ::chmod(path.c_str(), 0);
    test::HandOver(folder.Path());
    // 1: told apart from an empty file, 2: factory section in memory, 4: the save refused.
    const int checks = test::RunUnprivileged([&] {
        int passed = 0;
        JsonLoadStatus status = JsonLoadStatus::Ok;
        LoadJson(path, &status);
        if (status == JsonLoadStatus::Unreadable) passed |= 1;
        if (profile.LoadDeviceSection(path)["LightInfo"]["Light"].asInt() == 3) passed |= 2;
        profile.SetProfilePath(path);
        if (!profile.Save()) passed |= 4;
        if (TakeFileAlert() && (LoadJson(path), !TakeFileAlert())) passed |= 8;  // told once
        return passed;
    });
    EXPECT_EQ(checks, 15);
    EXPECT_EQ(folder.Read("p.Json"), mine);
    EXPECT_EQ(ModeOf(path), 0u);
    EXPECT_FALSE(std::filesystem::exists(path + ".bad"));
}

TEST_F(FileHardening, AWrittenFileAlwaysGivesItsOwnerReadAndWrite) {
    const std::string path = folder.File("p.Json");
    folder.Write("p.Json", "{}");
    ::chmod(path.c_str(), 0040);
    ASSERT_TRUE(SaveJson(path, Json::Value(Json::objectValue)));
    EXPECT_EQ(ModeOf(path), 0640u);
}

TEST_F(FileHardening, FailedSavesAreReportedToTheUser) {
    EXPECT_FALSE(TakeFileAlert());
    ASSERT_TRUE(SaveJson(folder.File("ok.Json"), Json::Value(1)));
    EXPECT_FALSE(TakeFileAlert());
    EXPECT_FALSE(SaveJson(folder.File("no/such/folder/p.Json"), Json::Value(1)));
    EXPECT_TRUE(TakeFileAlert());
    EXPECT_FALSE(TakeFileAlert());  // taken
}

TEST_F(FileHardening, TextsASaveCouldNotGiveBackReadAsDamaged) {
    const std::string cases[] = {
        "{\"profilename\": \"a\\u0000b\"}",    // U+0000 in a value
        "{\"a\\u0000b\": 1}",                  // and in a key
        "{\"profilename\": \"\xC3\x28\"}",     // invalid UTF-8
        "{\"profilename\": \"\\ud800\"}",      // a lone surrogate
        "{\"profilename\": \"x\"} // \xFF\n",  // invalid UTF-8 in a comment
    };
    for (const std::string& text : cases) {
        bool ok = true;
        EXPECT_TRUE(ParseJson(text, &ok).isNull()) << text;
        EXPECT_FALSE(ok) << text;
    }
    bool ok = false;
    EXPECT_EQ(ParseJson("{\"profilename\": \"\\u00dc\\ud83d\\ude00\"}", &ok)["profilename"].asString(), "Ü😀");
    EXPECT_TRUE(ok);
    // A profile holding one is kept as ".bad" before the factory section replaces it.
    folder.Write("p.Json", cases[0]);
    EXPECT_EQ(profile.LoadDeviceSection(folder.File("p.Json"))["LightInfo"]["Light"].asInt(), 3);
    EXPECT_EQ(folder.Read("p.Json.bad"), cases[0]);
}

TEST_F(FileHardening, DamagedRegistryKeepsItsCopyAndTheKeysStillReadable) {
    const std::string path = folder.File("config/registry.json");
    const std::string damaged = "{\n  \"LANGUAGE\" : \"2052\",\n  \"Skin\" : \"dark\",\n  \"Broken\" : ";
    folder.Write("config/registry.json", damaged);
    RegistryStore registry(path);
    EXPECT_EQ(registry.ReadInt("LANGUAGE"), 2052);
    ASSERT_TRUE(registry.Write("Volume", "7"));
    EXPECT_EQ(folder.Read("config/registry.json.bad"), damaged);
    const Json::Value stored = LoadJson(path);
    EXPECT_EQ(stored["LANGUAGE"].asString(), "2052");
    EXPECT_EQ(stored["Skin"].asString(), "dark");
    EXPECT_EQ(stored["Volume"].asString(), "7");
    EXPECT_EQ(stored.size(), 3u);
}

TEST_F(FileHardening, UnreadableRegistryIsNotReplaced) {
    const std::string path = folder.File("config/registry.json");
    folder.Write("config/registry.json", R"({"LANGUAGE": "1033"})");
    ::chmod(path.c_str(), 0);
    test::HandOver(folder.Path());
    EXPECT_EQ(test::RunUnprivileged([&] { return RegistryStore(path).Write("LANGUAGE", "2052") ? 1 : 0; }), 0);
    EXPECT_EQ(LoadJson(path)["LANGUAGE"].asString(), "1033");
}

TEST_F(FileHardening, LeftoversOfKilledSavesAreRemovedAtStart) {
    // A process id that is not running: a child that has ended.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = ".tmp." + std::to_string(gone) + ".3";
    const std::string own = ".tmp." + std::to_string(::getpid()) + ".0";
    const std::string alive = ".tmp." + std::to_string(::getppid()) + ".1";
    folder.Write("M470/ProfileList.ini" + dead, "{");
    folder.Write("M470/mouse/a.Json" + own, "{");
    folder.Write("M470/mouse/b.Json" + alive, "{");
    folder.Write("M470/mouse/c.Json.tmp.x.1", "{");
    folder.Write("M470/mouse/deeper/d.Json" + dead, "{");
    EXPECT_EQ(RemoveOrphanTemporaryFiles(folder.File("M470"), 1), 2u);
    EXPECT_FALSE(std::filesystem::exists(folder.File("M470/ProfileList.ini" + dead)));
    EXPECT_FALSE(std::filesystem::exists(folder.File("M470/mouse/a.Json" + own)));
    EXPECT_TRUE(std::filesystem::exists(folder.File("M470/mouse/b.Json" + alive)));  // its writer runs
    EXPECT_TRUE(std::filesystem::exists(folder.File("M470/mouse/c.Json.tmp.x.1")));   // not one of ours
    EXPECT_TRUE(std::filesystem::exists(folder.File("M470/mouse/deeper/d.Json" + dead)));  // below the depth
    long pid = 0;
    EXPECT_TRUE(IsTemporaryName("p.Json.tmp.12.0", pid));
    EXPECT_EQ(pid, 12);
    EXPECT_FALSE(IsTemporaryName("tmp.12.0", pid));
    EXPECT_FALSE(IsTemporaryName("p.Json.tmp.12.", pid));
}

TEST_F(FileHardening, IdsThatWouldLeaveTheirFolderCountAsMissing) {
    for (const char* id : {"", "../../escape", "a/b", "a\\b", "..", "x..y"}) EXPECT_FALSE(IsSafeFileId(id)) << id;
    EXPECT_TRUE(IsSafeFileId("2021_08_01_09_05_07_042"));
    EXPECT_TRUE(IsSafeFileId("{6A3E-11}"));
    // Macro catalogue: an escaping "Guid" names no file.
    folder.Write("outside.mac", R"({"Events": [{"Delay": "5", "Action": "down", "Type": 1, "Button": 4}]})");
    folder.Write("mouse/macro.config", R"({"MacroInfo": [{"MacroName": "m", "Guid": "../outside"}]})");
    const std::vector<MacroEntry> macros = LoadMacroCatalogue(folder.File("mouse/macro.config"));
    ASSERT_EQ(macros.size(), 1u);
    EXPECT_EQ(macros[0].guid, "");
    EXPECT_TRUE(LoadMacroEvents(folder.File("mouse/"), "../outside").empty());
    EXPECT_EQ(LoadMacroEvents(folder.File(""), "outside").size(), 1u);
    // Light catalogue: an absolute or escaping "Guid" loads no effect.
    folder.Write("fx.light", R"({"LEDEffectList": [{"LEDREGMode": 2, "Time": 9}]})");
    for (const std::string& guid : {folder.File("fx"), std::string("../fx")}) {
        Json::Value catalogue;
        catalogue["LightInfo"][0][0]["Guid"] = guid;
        SaveJson(folder.File("mouse/kestro_light.config"), catalogue);
        profile.LoadLightCatalogue(folder.File("mouse/kestro_light.config"));
        profile.SetLightCataloguePath(folder.File("mouse/kestro_light.config"));
        EXPECT_TRUE(profile.ReadCustomEffects().empty()) << guid;
    }
}

}  // namespace
}  // namespace m470
