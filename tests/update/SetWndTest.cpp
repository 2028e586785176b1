// The settings window on the in-memory tree against a TLS update service on
// loopback: the check, the download with its checks, the installer run once.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Folders.h"
#include "support/LoopbackServer.h"
#include "support/MappedLibrary.h"
#include "support/Sha256.h"
#include "support/TempFolder.h"
#include "support/UiQueue.h"
#include "ui/MemoryControlTree.h"
#include "update/CurlLoader.h"
#include "update/SetWnd.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::LoopbackServer;
using test::Sha256Hex;
using test::SeenRequest;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TMPDIR", folder.Path().c_str(), 1);
        root = host.LoadLayout(GetInstallFolder() + "skin/setwnd.ui");
        ASSERT_NE(root, nullptr);
        host.SetNotifyCallback([this](const ui::Notification& n) {
            if (window) window->Notify(n);
        });
        server.On("POST", "/api/updates", [this](const SeenRequest& request) {
            std::lock_guard lock(mutex);
            asked.push_back(request.body);
            for (const auto& [fragment, answer] : answers)
                if (request.body.find(fragment) != std::string::npos) return answer;
            return Answer{200, R"({"version":"0"})", "application/json"};
        });
        server.On("GET", "/files/.*", [this](const SeenRequest& request) {
            std::lock_guard lock(mutex);
            ++downloads;
            const auto found = files.find(request.path);
            return found != files.end() ? found->second : Answer{404, "not here", "text/html"};
        });
        server.Start();
    }
    void TearDown() override {
        window.reset();
        server.Stop();
        ::unsetenv("TMPDIR");
        ::unsetenv(kCurlLibraryVariable);
    }

    static UpdateEntry Mouse() { return {kTypeMouseClass, 1, 0x0105, "VANTRL", "M4A7B2C9", "M470", "mouse_device_name_text", ""}; }
    static UpdateEntry Program() { return {kTypeProgram, 1, 210, "VANTRL", kProgramFirmwareId, "M470", "update_program_name", "V2.1.0"}; }
    UpdateSettings Service() const {
        UpdateSettings settings;
        settings.serviceBase = server.Base() + "api/";
        settings.caFile = test::TlsFixture("ca.pem");
        settings.brand = "VANTRL";
        return settings;
    }

    void Open(const UpdateSettings& settings, std::vector<UpdateEntry> entries = {Mouse(), Program()}) {
        SetWndOptions options;
        options.settings = settings;
        options.dataFolder = folder.Path();
        options.itemLayout = GetInstallFolder() + "skin/updatelistitem.ui";
        options.languages = {"English", "中文"};
        options.betweenDownloads = 20ms;
        options.beforeInstall = 20ms;
        options.limits = limits;
        options.translate = [](std::string_view key) { return "<" + std::string(key) + ">"; };
        options.executable = "/opt/m470/m470";
        SetWndServices services;
        services.post = queue.Invoker();
        services.switchLanguage = [this](int index) { languages.push_back(index); };
        services.lastCheckShown = [this] { ++lastCheckShown; };
        services.tell = [this](const std::string& text) { told.push_back(text); };
        services.close = [this] { ++closed; };
        services.setNews = [this](const NewsChoices& choices) { news.push_back(choices); };
        options.news = shownNews;
        window = std::make_unique<CSetWnd>(host, root, options, services);
        window->Open(std::move(entries));
    }

    // The mouse is offered firmware 0106 with this installer.
    void OfferMouse(const std::string& installer, const std::string& sha256, const std::string& scheme = "https") {
        std::lock_guard lock(mutex);
        const std::string base = scheme + "://127.0.0.1:" + std::to_string(server.Port()) + "/";
        answers["_M470_1&version=105"] = {200,
                                          R"({"path":")" + base + R"(files/fw.exe","name":"M470","version":"0106","device_id":1,"sha256":")" +
                                              sha256 + R"("})",
                                          "application/json"};
        answers["_ALL_M470_1"] = {200, R"({"version":"210","version_name":"2.1.0"})", "application/json"};
        files["/files/fw.exe"] = {200, installer};
    }
    // A stub installer that notes each run and exits with code.
    std::string Installer(int code) const {
        return "#!/bin/sh\necho ran >> '" + folder.File("runs") + "'\nexit " + std::to_string(code) + "\n";
    }

    HttpLimits limits;

    bool PumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 1500; ++i) {
            queue.Pump();
            if (done()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void PumpFor(std::chrono::milliseconds span) {
        for (auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;) {
            queue.Pump();
            std::this_thread::sleep_for(10ms);
        }
    }
    bool Checked() {
        return PumpUntil([this] { return window->WindowState() != window_state::kChecking; });
    }
    ui::Ctl Find(const char* name) { return host.FindUnder(root, name); }
    ui::Ctl InItem(size_t k, const char* name) { return host.FindUnder(window->ItemRoot(k), name); }
    void StartUpdate() {
        host.Click(Find("update_fw_and_ap").Get());
        EXPECT_EQ(Find("get_update_tab_layout").Page(), 1);
        host.Click(Find("update_OK_btn").Get());
        EXPECT_EQ(Find("get_update_tab_layout").Page(), 0);
    }
    // Opens the window again on a fresh tree.
    void Reopen(const UpdateSettings& settings) {
        window.reset();
        root = host.LoadLayout(GetInstallFolder() + "skin/setwnd.ui");
        Open(settings);
    }
    // Check, pick what is offered, update, and wait for the mouse's item to end.
    bool UpdateToTheEnd() {
        if (!Checked()) return false;
        StartUpdate();
        return Ended(0);
    }
    bool Ended(size_t k) {
        return PumpUntil([this, k] {
            const int status = window->ItemStatus(k);
            return status == item_state::kUpToDate || status == item_state::kFailed;
        });
    }
    std::vector<std::string> DownloadFolders() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            if (entry.path().filename().string().rfind("UpdateData", 0) == 0) found.push_back(entry.path().string());
        return found;
    }
    int Downloads() {
        std::lock_guard lock(mutex);
        return downloads;
    }

    test::TempFolder folder;
    LoopbackServer server{true};
    std::mutex mutex;
    std::map<std::string, Answer> answers;
    std::map<std::string, Answer> files;
    std::vector<std::string> asked;
    int downloads = 0;
    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    test::UiQueue queue;
    std::unique_ptr<CSetWnd> window;
    std::vector<int> languages;
    std::vector<std::string> told;
    NewsChoices shownNews{true, false};
    std::vector<NewsChoices> news;
    int lastCheckShown = 0, closed = 0;
};

TEST_F(SettingsWindow, WithoutAServiceItSaysSoAndSendsNothing) {
    Open(UpdateSettings{});
    EXPECT_EQ(window->WindowState(), window_state::kNoService);
    EXPECT_EQ(Find("Update_Status_text").Text(), "NoUpdateServiceText");
    ASSERT_EQ(window->ItemCount(), 2u);
    EXPECT_EQ(InItem(0, "OldRev").Text(), "V0105");
    EXPECT_EQ(InItem(0, "check_name_select").Text(), "mouse_device_name_text");
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "LessUpdateText");
    EXPECT_FALSE(InItem(0, "check_name_select").Enabled());
    EXPECT_EQ(InItem(1, "OldRev").Text(), "V2.1.0");
    EXPECT_FALSE(Find("update_fw_and_ap").Visible());
    PumpFor(200ms);
    EXPECT_EQ(server.Requests(), 0);
    EXPECT_TRUE(DownloadFolders().empty());
    // An address that is not https is not used either.
    UpdateSettings plain = Service();
    plain.serviceBase = "http://127.0.0.1:" + std::to_string(server.Port()) + "/api/";
    Reopen(plain);
    EXPECT_EQ(window->WindowState(), window_state::kInsecureService);
    EXPECT_EQ(Find("Update_Status_text").Text(), "UpdateServiceInsecureText");
    PumpFor(200ms);
    EXPECT_EQ(server.Requests(), 0);
}

TEST_F(SettingsWindow, TheCheckShowsWhatEachItemNeeds) {
    OfferMouse(Installer(0), "");
    Open(Service());
    EXPECT_FALSE(Find("update_status_image").Visible());
    ASSERT_TRUE(Checked());
    EXPECT_EQ(window->WindowState(), window_state::kUpdatesOffered);
    EXPECT_EQ(Find("Update_Status_text").Text(), "HaveUpdateInfoText");
    EXPECT_FALSE(Find("update_status_ring").Visible());
    EXPECT_TRUE(Find("update_status_image").Visible());
    EXPECT_EQ(window->ItemStatus(0), item_state::kNeedsUpdate);
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "NeedUpdateText");
    EXPECT_EQ(InItem(0, "updateRev").Text(), "V0106");
    EXPECT_TRUE(InItem(0, "check_name_select").Enabled());
    EXPECT_TRUE(InItem(0, "check_name_select").Selected());
    EXPECT_EQ(window->ItemStatus(1), item_state::kUpToDate);
    EXPECT_EQ(InItem(1, "update_status_text").Text(), "UpdateOkText");
    EXPECT_EQ(InItem(1, "updateRev").Text(), "");
    EXPECT_FALSE(InItem(1, "check_name_select").Enabled());
    EXPECT_TRUE(Find("update_fw_and_ap").Visible());
    EXPECT_TRUE(Find("update_fw_and_ap").Enabled());
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(asked, (std::vector<std::string>{std::string("app_key=VANTRL_1_M4A7B2C9_M470_1&version=105") + '\0',
                                                   std::string("app_key=VANTRL_0_ALL_M470_1&version=210") + '\0'}));
    }
    EXPECT_EQ(ReadLastCheckDate(folder.Path()), TodayText());
    // Nothing picked: nothing to start.
    InItem(0, "check_name_select").SetSelected(false);
    EXPECT_FALSE(Find("update_fw_and_ap").Visible());
    EXPECT_FALSE(Find("update_fw_and_ap").Enabled());
    EXPECT_EQ(Downloads(), 0);
}

TEST_F(SettingsWindow, UpToDateShowsTheLastCheckAndNoAnswerSaysSo) {
    {
        std::lock_guard lock(mutex);
        answers["_M470_1&version=105"] = {200, R"({"version":"0105"})", "application/json"};
        answers["_ALL_M470_1"] = {200, R"({"version":"210"})", "application/json"};
    }
    Open(Service());
    ASSERT_TRUE(Checked());
    EXPECT_EQ(window->WindowState(), window_state::kLastCheck);
    EXPECT_EQ(Find("Update_Status_text").Text(), "<UpdateIsLastText>" + TodayText());
    EXPECT_EQ(lastCheckShown, 1);
    UpdateSettings refused = Service();
    refused.serviceBase = "https://127.0.0.1:" + std::to_string(LoopbackServer::RefusedPort()) + "/api/";
    Reopen(refused);
    ASSERT_TRUE(Checked());
    EXPECT_EQ(window->WindowState(), window_state::kNoAnswer);
    EXPECT_EQ(Find("Update_Status_text").Text(), "NoUpdateInfoText");
    EXPECT_EQ(window->ItemStatus(0), item_state::kNoInformation);
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "LessUpdateText");
    // Without libcurl the check ends the same way, having sent nothing.
    const int requests = server.Requests();
    ::setenv(kCurlLibraryVariable, "libcurl-absent.so.4", 1);
    Reopen(Service());
    ASSERT_TRUE(Checked());
    EXPECT_EQ(window->WindowState(), window_state::kNoAnswer);
    EXPECT_EQ(Find("Update_Status_text").Text(), "NoUpdateInfoText");
    EXPECT_EQ(window->ItemStatus(1), item_state::kNoInformation);
    EXPECT_EQ(server.Requests(), requests);
}

// A service that trickles one item's answer: that item ends at the deadline
// and says so, and the next item is still asked. A download above the size
// cap is not fetched, and says why.
TEST_F(SettingsWindow, ASlowOrOversizedServiceEndsAndEachFailureSaysWhy) {
    const std::string installer = Installer(0);
    OfferMouse(installer, Sha256Hex(installer));
    {
        std::lock_guard lock(mutex);
        answers["_M470_1&version=105"].trickleMs = 100;
        answers["_ALL_M470_1"] = {200, R"({"version":"211","version_name":"2.1.1","path":"https://127.0.0.1/none"})",
                                  "application/json"};
    }
    limits.requestDeadlineMs = 500;
    Open(Service());
    ASSERT_TRUE(Checked());
    EXPECT_EQ(window->ItemStatus(0), item_state::kNoInformation);
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "UpdateNoAnswerInTimeText");
    EXPECT_EQ(window->ItemStatus(1), item_state::kNeedsUpdate) << "the program was asked after the mouse";
    EXPECT_EQ(InItem(1, "update_status_text").Text(), "NeedUpdateText");

    OfferMouse(installer, Sha256Hex(installer));
    limits.maxDownloadBytes = installer.size() - 1;
    Reopen(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "DownloadTooLargeText");
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs")));
    EXPECT_FALSE(std::filesystem::exists(window->ItemResult(0).localFile));
}

TEST_F(SettingsWindow, TheDownloadedInstallerRunsOnceFromAPrivateFolder) {
    const std::string installer = Installer(1);
    OfferMouse(installer, Sha256Hex(installer));
    Open(Service());
    ASSERT_TRUE(Checked());
    StartUpdate();
    // What the worker did since shows only once the UI thread runs its posts.
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "DownloadWaitText");
    EXPECT_FALSE(InItem(0, "check_name_select").Enabled());
    EXPECT_FALSE(InItem(1, "check_name_select").Enabled());
    EXPECT_EQ(window->WindowState(), window_state::kUpdating);
    EXPECT_EQ(Find("Update_Status_text").Text(), "ISUpdateINGText");
    ASSERT_TRUE(Ended(0));
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);  // the stub exits 1
    EXPECT_EQ(InItem(0, "update_status_text").Text(), "UpdateFailText");
    EXPECT_TRUE(InItem(0, "check_name_select").Enabled());  // may be picked again
    EXPECT_EQ(InItem(0, "update_progress_value").Text(), "100%");
    PumpFor(500ms);
    EXPECT_EQ(folder.Read("runs"), "ran\n");  // once, not again on every pass
    EXPECT_EQ(window->WindowState(), window_state::kUpdatesOffered);
    const std::string file = window->ItemResult(0).localFile;
    EXPECT_EQ(file.rfind(window->DownloadPath(), 0), 0u);
    EXPECT_EQ(ModeOf(file), 0700u);
    EXPECT_EQ(ModeOf(window->DownloadPath()), 0700u);
    EXPECT_EQ(DownloadFolders().size(), 1u);
    EXPECT_TRUE(told.empty());
    window.reset();
    EXPECT_TRUE(DownloadFolders().empty());  // the folder goes with the window
}

TEST_F(SettingsWindow, AnInstallerThatSucceedsLeavesTheItemUpToDate) {
    const std::string installer = Installer(0);
    OfferMouse(installer, "");  // no hash announced: the download alone decides
    Open(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kUpToDate);
    EXPECT_EQ(folder.Read("runs"), "ran\n");
    PumpUntil([this] { return window->WindowState() == window_state::kLastCheck; });
    EXPECT_EQ(window->WindowState(), window_state::kLastCheck);
}

TEST_F(SettingsWindow, NothingRunsThatWasNotVerified) {
    const std::string installer = Installer(0);
    OfferMouse(installer, Sha256Hex(installer + "changed"));
    Open(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);
    EXPECT_EQ(Downloads(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs")));
    EXPECT_FALSE(std::filesystem::exists(window->ItemResult(0).localFile));
    // A plain-http download address is not even asked.
    OfferMouse(installer, "", "http");
    Reopen(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);
    EXPECT_EQ(Downloads(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs")));
}

TEST_F(SettingsWindow, AFileTheSystemCannotRunSaysUpdateFailed) {
    const std::string windowsInstaller = std::string("MZ\x90\x00\x03\x00\x00\x00", 8) + std::string(600, '\0');
    OfferMouse(windowsInstaller, Sha256Hex(windowsInstaller));
    Open(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);
    PumpUntil([this] { return !told.empty(); });
    EXPECT_EQ(told, (std::vector<std::string>{"Update failed!"}));
}

TEST_F(SettingsWindow, AFailedDownloadCanBePickedAgain) {
    const std::string installer = Installer(0);
    OfferMouse(installer, Sha256Hex(installer));
    {
        std::lock_guard lock(mutex);
        files["/files/fw.exe"] = {404, "<html>not found</html>", "text/html"};
    }
    Open(Service());
    ASSERT_TRUE(UpdateToTheEnd());
    EXPECT_EQ(window->ItemStatus(0), item_state::kFailed);
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs")));  // the error page was not run
    {
        std::lock_guard lock(mutex);
        files["/files/fw.exe"] = {200, installer};
    }
    InItem(0, "check_name_select").SetSelected(true);
    EXPECT_TRUE(Find("update_fw_and_ap").Enabled());
    StartUpdate();
    ASSERT_TRUE(PumpUntil([this] { return window->ItemStatus(0) == item_state::kUpToDate; }));
    EXPECT_EQ(Downloads(), 2);
    EXPECT_EQ(folder.Read("runs"), "ran\n");
}

TEST_F(SettingsWindow, ClosingDuringAStalledDownloadStopsAndJoinsTheWorkers) {
    OfferMouse(Installer(0), "");
    {
        std::lock_guard lock(mutex);
        files["/files/fw.exe"].stall = true;
        files["/files/fw.exe"].body = std::string(4096, 'x');
    }
    Open(Service());
    ASSERT_TRUE(Checked());
    StartUpdate();
    ASSERT_TRUE(PumpUntil([this] { return window->ItemStatus(0) == item_state::kDownloading; }));
    host.Click(Find("closebtn").Get());  // returns once the workers ended
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(window->ItemStatus(0), item_state::kDownloading);
    EXPECT_FALSE(std::filesystem::exists(folder.File("runs")));
}

// An item ticked and updated while the check still waits for another answer
// keeps its place in the update when the check ends: it is downloaded, run
// once, and the window says it is updating until then.
TEST_F(SettingsWindow, AnUpdateStartedBeforeTheCheckEndedStillRuns) {
    const std::string installer = Installer(0);
    std::atomic<bool> answerProgram{false}, sendFile{false}, programAsked{false}, fileAsked{false};
    const auto waitFor = [](const std::atomic<bool>& flag) {
        for (int i = 0; i < 1000 && !flag; ++i) std::this_thread::sleep_for(10ms);
    };
    LoopbackServer slow(true);
    slow.On("POST", "/api/updates", [&](const SeenRequest& request) {
        if (request.body.find("_ALL_M470_1") != std::string::npos) {
            programAsked = true;
            waitFor(answerProgram);
            return Answer{200, R"({"version":"210"})", "application/json"};
        }
        return Answer{200, R"({"path":")" + slow.Base() + R"(files/fw.exe","version":"0106"})", "application/json"};
    });
    slow.On("GET", "/files/fw.exe", [&](const SeenRequest&) {
        fileAsked = true;
        waitFor(sendFile);
        return Answer{200, installer};
    });
    slow.Start();
    UpdateSettings settings = Service();
    settings.serviceBase = slow.Base() + "api/";
    Open(settings);
    ASSERT_TRUE(PumpUntil([this] { return InItem(0, "check_name_select").Enabled(); }));
    EXPECT_EQ(window->WindowState(), window_state::kChecking);
    InItem(0, "check_name_select").SetSelected(true);
    StartUpdate();
    ASSERT_TRUE(PumpUntil([&] { return window->ItemStatus(0) == item_state::kDownloading && programAsked && fileAsked; }));
    // The check's request and the download share one load of libcurl.
    EXPECT_EQ(CurlLoader::Holders(), 2u);
    answerProgram = true;  // the check ends while the mouse downloads
    ASSERT_TRUE(PumpUntil([this] { return window->ItemStatus(1) == item_state::kUpToDate; }));
    EXPECT_TRUE(PumpUntil([] { return CurlLoader::Holders() == 1; }));
    EXPECT_TRUE(test::Mapped("/libcurl.so"));
    PumpFor(200ms);
    EXPECT_EQ(window->WindowState(), window_state::kUpdating);
    EXPECT_EQ(Find("Update_Status_text").Text(), "ISUpdateINGText");
    sendFile = true;
    ASSERT_TRUE(PumpUntil([this] { return window->ItemStatus(0) == item_state::kUpToDate; })) << window->ItemStatus(0);
    EXPECT_EQ(folder.Read("runs"), "ran\n");
    EXPECT_TRUE(PumpUntil([this] { return window->WindowState() == window_state::kLastCheck; }));
    EXPECT_EQ(CurlLoader::Holders(), 0u);
    EXPECT_FALSE(test::Mapped("/libcurl.so")) << "unloaded once no request runs, the window still open";
    window.reset();
}

TEST_F(SettingsWindow, TheLanguageComboAsksForTheLanguage) {
    Open(UpdateSettings{});
    ui::Ctl combo = Find("Language_combox_info");
    ASSERT_EQ(combo.ItemCount(), 2);
    EXPECT_EQ(combo.SelectedItem(), 0);
    EXPECT_TRUE(languages.empty());  // filling it is no choice
    combo.SelectItem(1);
    EXPECT_EQ(languages, (std::vector<int>{1}));
}

// The two notification boxes show the owner's choices and hand every change back.
TEST_F(SettingsWindow, TheNotificationBoxesShowAndChangeTheChoices) {
    shownNews = {false, true};
    Open(UpdateSettings{});
    EXPECT_FALSE(Find("notify_battery_check").Selected());
    EXPECT_TRUE(Find("notify_link_check").Selected());
    EXPECT_TRUE(news.empty());  // showing them is no choice
    host.Click(Find("notify_battery_check").Get());
    host.Click(Find("notify_link_check").Get());
    EXPECT_EQ(news, (std::vector<NewsChoices>{{true, true}, {true, false}}));
}

// "Start with the session": the box writes and removes the autostart entry
// and shows what the folder holds, also after a write that failed.
TEST_F(SettingsWindow, StartWithTheSessionWritesAndRemovesTheAutostartEntry) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    Open(UpdateSettings{});
    ui::Ctl box = Find("autostart_check");
    ASSERT_TRUE(box);
    EXPECT_FALSE(box.Selected());
    host.Click(box.Get());
    EXPECT_TRUE(box.Selected());
    const std::string entry = test::TempFolder::ReadFile(folder.File("config/autostart/io.github.m470.M470.desktop"));
    EXPECT_NE(entry.find("\nExec=/opt/m470/m470 --tray\n"), std::string::npos) << entry;
    Reopen(UpdateSettings{});
    EXPECT_TRUE(Find("autostart_check").Selected()) << "the box shows the entry that is there";
    host.Click(Find("autostart_check").Get());
    EXPECT_FALSE(std::filesystem::exists(folder.File("config/autostart/io.github.m470.M470.desktop")));
    EXPECT_TRUE(told.empty());

    std::filesystem::remove_all(folder.File("config/autostart"));
    folder.Write("config/autostart", "a file where the folder should be");
    host.Click(Find("autostart_check").Get());
    EXPECT_FALSE(Find("autostart_check").Selected());
    EXPECT_EQ(told, std::vector<std::string>{"<autostart_failed_text>"});
    if (saved != nullptr) ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace m470
