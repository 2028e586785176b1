// Lights that follow the music, the whole way: the window launches the real
// capture program against a private sound server, and a virtual mouse in
// the music effect gets frames that move with a tone, streamed on the wire.
// The sound server restarted in mid-run, the window goes on without a
// restart of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <filesystem>
#include <set>

#include "ctl/CtlProtocol.h"
#include "desktop/SoundServer.h"
#include "device_link/CommandCodes.h"
#include "platform/Folders.h"
#include "qt/MainWnd.h"
#include "sim/VirtualDeviceHub.h"

namespace m470::qt {
namespace {

using Clock = std::chrono::steady_clock;
using Report = std::vector<uint8_t>;

// Runs the event loop until done() holds; false after a generous limit.
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        QTest::qWait(20);
    }
    return true;
}

class MusicWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(test::SoundServer::kProgram)) GTEST_SKIP() << "no PulseAudio daemon installed (pulseaudio)";
        std::string why;
        if (!server.Start(why)) GTEST_SKIP() << "the sound server cannot start here: " << why;
        // The window and the capture program it launches meet this server only.
        const std::string runtime = folder.File("run");
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        for (const std::string& line : server.ClientEnvironment()) {
            const size_t equals = line.find('=');
            ::setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
        }
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->resize(1000, 640);
        window->show();
        window->OnWindowInit();
        window->StartDeviceManager(hub.Backend());
        ASSERT_TRUE(hub.Plug("mouse"));
        // The mouse page takes the music effect as m470ctl's request would.
        ASSERT_TRUE(WaitUntil([&] { return Request({"mouse", "set", "mode", "Music"}) == 0; }));
    }
    void TearDown() override { window.reset(); }  // ends the capture program it started

    int Request(const std::vector<std::string>& words) {
        const std::string line = window->HandleControlRequest(words);
        const auto reply = ctl::ParseReply(line.substr(0, line.size() - 1));
        return reply ? reply->exitCode : -1;
    }
    // The live frames the mouse received, newest last.
    std::vector<Report> Streamed() {
        std::vector<Report> reports;
        for (const TrafficEntry& entry : hub.Traffic().Entries())
            if (entry.interfaceName == "mouse" && entry.request[3] == command::kStreamLighting)
                reports.emplace_back(entry.request.begin(), entry.request.end());
        return reports;
    }
    // Without sound the effect settles on one still picture: the report of
    // its frame (16 LEDs fit one), once the last kSettled sent are all the same.
    std::set<Report> StillPicture() {
        std::set<Report> still;
        const bool settled = WaitUntil([&] {
            const std::vector<Report> reports = Streamed();
            if (reports.size() < kSettled) return false;
            still = std::set<Report>(reports.end() - kSettled, reports.end());
            return still.size() == 1;
        });
        EXPECT_TRUE(settled) << "the mouse's frames never stood still without sound";
        return still;
    }
    // A frame unlike the still picture reached the mouse (the sound moved it).
    bool MovesWithTheSound(const std::set<Report>& still) {
        hub.Traffic().Clear();
        return WaitUntil([&] {
            for (const Report& report : Streamed())
                if (!still.count(report)) return true;
            return false;
        });
    }

    static constexpr size_t kSettled = 40;
    test::TempFolder folder;
    test::SoundServer server{folder};
    VirtualDeviceHub hub;
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MusicWindow, AMouseInTheMusicEffectFollowsAToneAndAgainAfterTheSoundServerRestarts) {
    window->StartMusicLighting();
    const std::set<Report> still = StillPicture();
    ASSERT_FALSE(still.empty());
    {
        // Bursts: the bands follow the change of the spectrum, a steady tone would not move them.
        test::TonePlayer tone(server.Server(), 1000.0, 5);
        ASSERT_TRUE(MovesWithTheSound(still)) << folder.Read("pulse.log");
        server.Stop();
    }
    // No server: the picture stands still again.
    EXPECT_EQ(StillPicture(), still);
    std::string why;
    ASSERT_TRUE(server.Start(why)) << why;
    test::TonePlayer tone(server.Server(), 1000.0, 5);
    EXPECT_TRUE(MovesWithTheSound(still)) << "the capture did not come back after the server restarted";
}

}  // namespace
}  // namespace m470::qt
