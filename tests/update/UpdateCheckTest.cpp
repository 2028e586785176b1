// What a check sends and how its answers are read, against a TLS server on loopback.
#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "support/LoopbackServer.h"
#include "support/TempFolder.h"
#include "update/HttpClient.h"
#include "update/UpdateCheck.h"
#include "update/UpdateSettings.h"

namespace m470 {
namespace {

using test::Answer;
using test::LoopbackServer;
using test::SeenRequest;

UpdateEntry Mouse(uint32_t version) {
    return {kTypeMouseClass, 1, version, "VANTRL", "M4A7B2C9", "M470", "mouse_device_name_text", ""};
}
UpdateEntry Program(uint32_t version) {
    return {kTypeProgram, 1, version, "VANTRL", kProgramFirmwareId, "M470", "update_program_name", "V2.1.0"};
}

TEST(UpdateRequest, KeysBodiesAndVersionTexts) {
    EXPECT_EQ(AppKey(Mouse(0x0105)), "VANTRL_1_M4A7B2C9_M470_1");
    EXPECT_EQ(AppKey(Mouse(0)), "NULL");
    EXPECT_EQ(AppKey(Program(210)), "VANTRL_0_ALL_M470_1");
    // An installed program 2.1.0 is sent as 210; a mouse at 0x0105 with the hex digits 105.
    EXPECT_EQ(VersionNumberOf("2.1.0"), 210u);
    EXPECT_EQ(VersionNumberOf("1.0.5"), 105u);
    EXPECT_EQ(VersionNumberOf("beta"), 0u);
    EXPECT_EQ(RequestBody("K", 210, false), "app_key=K&version=210");
    EXPECT_EQ(RequestBody("K", 0x0105, true), "app_key=K&version=105");
    EXPECT_EQ(RequestBody("K", 0xABC, true), "app_key=K&version=abc");
    EXPECT_EQ(VersionText(0x0105, true), "V0105");
    EXPECT_EQ(VersionText(210, false), "V210");
}

TEST(UpdateRequest, SettingsComeFromTheRegistryFile) {
    test::TempFolder folder;
    RegistryStore registry(folder.File("registry.json"));
    EXPECT_FALSE(ReadUpdateSettings(registry).Configured());
    registry.Write("UPDATE_SERVICE", "https://updates.example/api");
    registry.Write("UPDATE_BRAND", "VANTRL");
    registry.Write("UPDATE_FIRMWARE_MOUSEPAD", "P1C3D4E5");
    const UpdateSettings settings = ReadUpdateSettings(registry);
    EXPECT_EQ(settings.serviceBase, "https://updates.example/api/");
    EXPECT_TRUE(settings.Secure());
    EXPECT_EQ(settings.brand, "VANTRL");
    EXPECT_EQ(settings.FirmwareId(registry, "MousePad"), "P1C3D4E5");
    EXPECT_EQ(settings.FirmwareId(registry, "mouse"), "");
    registry.Write("UPDATE_SERVICE", "http://updates.example/api/");
    EXPECT_FALSE(ReadUpdateSettings(registry).Secure());
    EXPECT_EQ(ReadLastCheckDate(folder.Path()), "");
    ASSERT_TRUE(WriteLastCheckDate(folder.Path(), "2026-3-9"));
    EXPECT_EQ(ReadLastCheckDate(folder.Path()), "2026-3-9");
    EXPECT_NE(folder.Read("updatetime.config").find("\"updatelasttime\""), std::string::npos);
}

class UpdateAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        server.On("POST", "/api/updates", [this](const SeenRequest& request) {
            bodies.push_back(request.body);
            return answer;
        });
        server.Start();
    }
    UpdateResult Check(const UpdateEntry& entry) {
        HttpSettings settings;
        settings.extraCaFile = test::TlsFixture("ca.pem");
        HttpClient client(settings);
        return CheckForUpdate(client, server.Base() + "api/", entry);
    }
    LoopbackServer server{true};
    Answer answer{200, "{}", "application/json"};
    std::vector<std::string> bodies;
};

TEST_F(UpdateAnswers, ANewerFirmwareNeedsAnUpdateAndTheSameIsUpToDate) {
    answer.body = R"({"path":"https://127.0.0.1/fw.exe","name":"M470","version_name":"1.06","version":"0106","device_id":1,"sha256":"ab12"})";
    const UpdateResult newer = Check(Mouse(0x0105));
    EXPECT_EQ(bodies.back(), std::string("app_key=VANTRL_1_M4A7B2C9_M470_1&version=105") + '\0');
    EXPECT_EQ(newer.status, item_state::kNeedsUpdate);
    EXPECT_EQ(newer.name, "mouse_device_name_text");
    EXPECT_EQ(newer.installedText, "V0105");
    EXPECT_EQ(newer.newestText, "V0106");
    EXPECT_EQ(newer.url, "https://127.0.0.1/fw.exe");
    EXPECT_EQ(newer.deviceId, 1);
    EXPECT_EQ(newer.sha256, "ab12");
    EXPECT_FALSE(newer.failed);
    answer.body = R"({"path":"https://127.0.0.1/fw.exe","version":"0105","device_id":1})";
    EXPECT_EQ(Check(Mouse(0x0105)).status, item_state::kUpToDate);
}

TEST_F(UpdateAnswers, TheProgramIsComparedInDecimalAndShowsTheServersVersionName) {
    answer.body = R"({"path":"https://127.0.0.1/setup.exe","version":"211","version_name":"2.1.1","device_id":2})";
    const UpdateResult result = Check(Program(210));
    EXPECT_EQ(bodies.back(), std::string("app_key=VANTRL_0_ALL_M470_1&version=210") + '\0');
    EXPECT_EQ(result.status, item_state::kNeedsUpdate);
    EXPECT_EQ(result.installedText, "V2.1.0");
    EXPECT_EQ(result.newestText, "2.1.1");
    answer.body = R"({"version":"210","version_name":"2.1.0"})";
    EXPECT_EQ(Check(Program(210)).status, item_state::kUpToDate);
}

TEST_F(UpdateAnswers, NoJsonAnErrorPageOrAHugeAnswerGiveNoInformation) {
    answer.body = "<html>maintenance</html>";
    const UpdateResult html = Check(Mouse(0x0105));
    EXPECT_TRUE(html.failed);
    EXPECT_EQ(html.status, item_state::kNoInformation);
    EXPECT_EQ(html.installedText, "V0105");
    EXPECT_EQ(html.newestText, "");
    answer = {404, R"({"version":"0999"})", "application/json"};
    const UpdateResult missing = Check(Mouse(0x0105));
    EXPECT_TRUE(missing.failed);
    EXPECT_EQ(missing.status, item_state::kNoInformation);
    // Cut at 102,399 bytes, the rest of a JSON document is missing: not read.
    answer = {200, R"({"version":"0999","pad":")" + std::string(150000, 'x') + "\"}", "application/json"};
    EXPECT_EQ(Check(Mouse(0x0105)).status, item_state::kNoInformation);
}

// A JSON answer that names no version it can be compared with (an error
// object, a version in another form) says nothing about the item: never "up to date".
TEST_F(UpdateAnswers, AnAnswerWithoutAReadableVersionGivesNoInformation) {
    for (const char* body : {R"({})", R"({"error":"unknown app_key"})", R"({"version":""})", R"({"version":"01x8"})",
                             R"({"version":"1.0.8"})", R"({"version":"123456789abc"})", R"({"version":[1]})"}) {
        answer.body = body;
        const UpdateResult result = Check(Mouse(0x0105));
        EXPECT_TRUE(result.failed) << body;
        EXPECT_EQ(result.status, item_state::kNoInformation) << body;
        EXPECT_EQ(result.installedText, "V0105") << body;
    }
    answer.body = R"({"version":"99999999999","version_name":"9"})";
    EXPECT_EQ(Check(Program(210)).status, item_state::kNoInformation);
    // A version of 0 is a readable answer: nothing newer.
    answer.body = R"({"version":0})";
    EXPECT_EQ(Check(Program(210)).status, item_state::kUpToDate);
    answer.body = R"({"version":"0000"})";
    EXPECT_EQ(Check(Mouse(0x0105)).status, item_state::kUpToDate);
}

// JSON numbers outside the ranges of int and of int64 are read or refused,
// never fatal to the program (a service, or whatever answers in its place,
// may send any of them).
TEST(UpdateAnswer, NumbersBeyondTheIntegerRangesAreReadOrRefusedNotFatal) {
    const auto read = [](const UpdateEntry& entry, const std::string& body) {
        return ReadAnswer(entry, body.data(), body.size());
    };
    const UpdateResult bigId = read(Mouse(0x0105), R"({"version":"0106","device_id":3000000000})");
    EXPECT_FALSE(bigId.failed);
    EXPECT_EQ(bigId.status, item_state::kNeedsUpdate);
    EXPECT_EQ(bigId.deviceId, 0);
    EXPECT_EQ(read(Mouse(0x0105), R"({"version":"0106","device_id":"3000000000"})").deviceId, 0);
    EXPECT_EQ(read(Mouse(0x0105), R"({"version":"0106","device_id":18446744073709551615})").deviceId, 0);
    EXPECT_EQ(read(Mouse(0x0105), R"({"version":"0106","device_id":-7})").deviceId, -7);
    EXPECT_EQ(read(Mouse(0x0105), R"({"version":"0106","device_id":"12"})").deviceId, 12);
    // Above the signed 64-bit range: too large to compare, so no information.
    const UpdateResult huge = read(Program(210), R"({"version":18446744073709551615,"version_name":"9"})");
    EXPECT_TRUE(huge.failed);
    EXPECT_EQ(huge.status, item_state::kNoInformation);
    EXPECT_TRUE(read(Mouse(0x0105), R"({"version":10000000000000000000})").failed);
    // A whole number written as a real is that number.
    EXPECT_EQ(read(Program(210), R"({"version":211.0})").status, item_state::kNeedsUpdate);
    EXPECT_EQ(read(Program(210), R"({"version":210.0})").status, item_state::kUpToDate);
    const UpdateResult text = read(Mouse(0x0105), R"({"version":"0106","sha256":18446744073709551615,"path":-9223372036854775808})");
    EXPECT_EQ(text.sha256, "18446744073709551615");
    EXPECT_EQ(text.url, "-9223372036854775808");
}

TEST_F(UpdateAnswers, NoAnswerKeepsTheListNameAndFails) {
    HttpClient client;
    const std::string refused = "https://127.0.0.1:" + std::to_string(LoopbackServer::RefusedPort()) + "/api/";
    const UpdateResult result = CheckForUpdate(client, refused, Mouse(0x0105));
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.name, "mouse_device_name_text");
    EXPECT_EQ(result.status, item_state::kNoInformation);
    // The server without its authority: nothing is accepted from it either.
    const UpdateResult stranger = CheckForUpdate(client, server.Base() + "api/", Mouse(0x0105));
    EXPECT_TRUE(stranger.failed);
}

}  // namespace
}  // namespace m470
