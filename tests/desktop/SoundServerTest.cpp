// The capture program against a real sound server: a private PulseAudio
// daemon with a null sink, a tone played into it, m470-audiorecord recording
// its monitor. Its frames peak in the tone's bin; the server stopped and
// started again, the same program and connection carry the new sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "music/CaptureClient.h"
#include "music/CaptureProtocol.h"
#include "music/CapturePeer.h"
#include "platform/Folders.h"
#include "desktop/SoundServer.h"

namespace m470 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGenerous = std::chrono::seconds(30);

// Bins are 48 Hz apart from 48 Hz: 1 kHz is nearest bin 21 (value 20), 2 kHz bin 42 (value 41).
constexpr size_t kValueOf1kHz = 20;
constexpr size_t kValueOf2kHz = 41;

size_t Loudest(const SpectrumValues& values) {
    return static_cast<size_t>(std::max_element(values.begin(), values.end()) - values.begin());
}

class CaptureProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(test::SoundServer::kProgram)) GTEST_SKIP() << "no PulseAudio daemon installed (pulseaudio)";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        std::string why;
        if (!server.Start(why)) GTEST_SKIP() << "the sound server cannot start here: " << why;
    }

    // Reads spectrum frames until one satisfies done; false after kGenerous.
    bool ReadUntil(CaptureClient& client, const std::function<bool(const SpectrumValues&)>& done) {
        const auto deadline = Clock::now() + kGenerous;
        bool met = false;
        while (!met && client.Connected() && Clock::now() < deadline) {
            test::PumpClient(client, [&](const CaptureFrame& frame) {
                if (frame.parameter != kSpectrumData || met) return;
                const std::vector<int32_t> read = ReadValues(frame.data, kSpectrumBytes);
                std::copy(read.begin(), read.end(), last.begin());
                ++frames;
                met = done(last);
            });
        }
        return met;
    }
    // The tone has reached the capture: frames peak in its bin at its level.
    bool HearsTone(CaptureClient& client, size_t value) {
        return ReadUntil(client, [value](const SpectrumValues& v) { return Loudest(v) == value && v[value] >= ScaleDecibels(-12.0); });
    }

    test::TempFolder folder;
    std::string runtime = folder.File("run");
    test::SoundServer server{folder};
    SpectrumValues last{};
    int frames = 0;
};

TEST_F(CaptureProgram, FramesPeakInTheToneBinAndTheCaptureComesBackAfterTheServerRestarts) {
    std::vector<std::string> environment = server.ClientEnvironment();
    environment.push_back("XDG_RUNTIME_DIR=" + runtime);
    test::ChildProcess capture({GetInstallFolder() + "m470-audiorecord"}, environment, folder.File("capture.log"));
    CaptureClient client(CaptureSocketPath(runtime));
    const auto deadline = Clock::now() + kGenerous;
    while (!client.ConnectCapture() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(client.Connected()) << folder.Read("capture.log");

    // Nothing plays yet: the monitor of the null sink is silent.
    ASSERT_TRUE(ReadUntil(client, [](const SpectrumValues& v) { return v == SpectrumValues{}; })) << folder.Read("capture.log");
    {
        test::TonePlayer tone(server.Server(), 1000.0);
        ASSERT_TRUE(HearsTone(client, kValueOf1kHz)) << "loudest value " << Loudest(last) << " after " << frames << " frames";
        // A steady tone at half of full scale: about -6 dB in its bin, nothing far from it.
        ASSERT_TRUE(ReadUntil(client, [](const SpectrumValues& v) { return Loudest(v) == kValueOf1kHz; }));
        EXPECT_GE(last[kValueOf1kHz], ScaleDecibels(-9.0));
        EXPECT_LE(last[kValueOf1kHz], ScaleDecibels(-5.0));
        for (size_t i = 3 * kValueOf1kHz; i < kSpectrumValues; ++i) ASSERT_EQ(last[i], 0) << "value " << i;

        // The server goes away in the middle of the run.
        server.Stop();
    }
    const int before = frames;
    std::string why;
    ASSERT_TRUE(server.Start(why)) << why;
    test::TonePlayer tone(server.Server(), 2000.0);
    // The same program on the same connection hears the new server's sound.
    ASSERT_TRUE(HearsTone(client, kValueOf2kHz)) << "loudest value " << Loudest(last) << " after " << frames - before
                                                 << " frames\n" << folder.Read("capture.log");
    EXPECT_TRUE(capture.Running());
    EXPECT_TRUE(client.Connected());

    // The window's quit ends it on its own.
    ASSERT_TRUE(client.DisconnectCapture());
    const int status = capture.WaitEnd(std::chrono::milliseconds(10000));
    ASSERT_NE(status, -1) << "the capture program did not quit";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace m470
