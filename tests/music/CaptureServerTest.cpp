// The capture program's server with a synthetic tone: one copy per lock,
// frames only while registered, opened and started, the style coming back
// scaled, hostile clients dropped, quit ending it cleanly.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

#include "music/CaptureClient.h"
#include "music/CapturePeer.h"
#include "music/CaptureServer.h"
#include "music/SpectrumProcessing.h"
#include "music/CaptureWatcher.h"
#include "support/SineSource.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class CaptureServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<CaptureServer>(std::make_unique<test::SineSource>(1000.0, 0.5));
        std::string why;
        ASSERT_EQ(server->Begin(dir, why), CaptureServer::BeginResult::Ready) << why;
        runner = std::thread([this] { exitCode = server->Run(); });
    }
    void TearDown() override {
        if (runner.joinable()) {
            CaptureClient quitter(socket);
            quitter.DisconnectCapture();
            runner.join();
        }
    }

    test::TempFolder folder;
    std::string dir = folder.Path().substr(0, folder.Path().size() - 1);
    std::string socket = CaptureSocketPath(dir);
    std::string lock = CaptureLockPath(dir);
    std::unique_ptr<CaptureServer> server;
    std::thread runner;
    int exitCode = -1;
};

TEST_F(CaptureServerTest, ASecondCopyFindsTheLockTaken) {
    EXPECT_TRUE(CaptureWatcher::LockHeld(lock));
    CaptureServer second(std::make_unique<test::SineSource>(1000.0, 0.5));
    std::string why;
    EXPECT_EQ(second.Begin(dir, why), CaptureServer::BeginResult::OtherCopy);
}

TEST_F(CaptureServerTest, AConnectedWindowGetsTheToneAndTheStyleBack) {
    CaptureClient client(socket);
    ASSERT_TRUE(client.ConnectCapture());
    ASSERT_TRUE(client.SendStyle({9, 1, 0}));
    int spectra = 0;
    std::vector<std::array<int32_t, kBandValues>> bands;
    SpectrumValues last{};
    // Generous: the frames come about 96 a second.
    for (int pump = 0; pump < 2000 && (spectra < 12 || bands.size() < 3) && client.Connected(); ++pump) {
        test::PumpClient(client, [&](const CaptureFrame& frame) {
            if (frame.parameter == kSpectrumData) {
                ASSERT_EQ(frame.data.size(), kSpectrumBytes);
                const std::vector<int32_t> values = ReadValues(frame.data, kSpectrumBytes);
                std::copy(values.begin(), values.end(), last.begin());
                ++spectra;
            } else if (frame.parameter == kBandData) {
                ASSERT_EQ(frame.data.size(), kBandBytes);
                bands.push_back(BandsFromData(frame.data));
            }
        });
    }
    ASSERT_GE(spectra, 12);
    EXPECT_EQ(std::max_element(last.begin(), last.end()) - last.begin(), 20);
    // One band frame per three spectra, the style colour scaled by the level.
    ASSERT_GE(bands.size(), 3u);
    EXPECT_LE(bands.size() * 3, static_cast<size_t>(spectra) + 3);
    const auto& band = bands.back();
    // Half of full scale: -6 dB (a hop holds no whole number of periods).
    EXPECT_NEAR(band[3], ScaleDecibels(20 * std::log10(0.5)), 5);
    EXPECT_EQ(band[0], 255 * band[3] / 2000);
    EXPECT_EQ(band[1], 255 / 9 * band[3] / 2000);
    EXPECT_EQ(band[2], 0);
}

TEST_F(CaptureServerTest, NoFramesUntilRegisteredOpenedAndStarted) {
    const int fd = ConnectLocalSocket(socket);
    ASSERT_GE(fd, 0);
    // Registered and started, but the stream was never opened.
    test::CapturePeer::Send(fd, test::CapturePeer::Concat({CommandFrame(CaptureCommand::Register),
                                                           CommandFrame(CaptureCommand::Start)}));
    pollfd wait{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&wait, 1, 300), 0);
    test::CapturePeer::Send(fd, EncodeFrame(CommandFrame(CaptureCommand::Open)));
    EXPECT_EQ(test::CapturePeer::Read(fd, 12).size(), 12u);
    ::close(fd);
}

TEST_F(CaptureServerTest, AHostileClientIsDroppedAndTheOthersStayServed) {
    const int hostile = ConnectLocalSocket(socket);
    ASSERT_GE(hostile, 0);
    test::CapturePeer::Send(hostile, {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0});
    EXPECT_TRUE(test::CapturePeer::SeesHangUp(hostile));
    ::close(hostile);
    CaptureClient client(socket);
    ASSERT_TRUE(client.ConnectCapture());
    int frames = 0;
    for (int pump = 0; pump < 100 && frames == 0 && client.Connected(); ++pump)
        test::PumpClient(client, [&](const CaptureFrame&) { ++frames; });
    EXPECT_GT(frames, 0);
}

TEST_F(CaptureServerTest, QuitEndsTheProgramAndFreesLockAndSocket) {
    CaptureClient client(socket);
    ASSERT_TRUE(client.ConnectCapture());
    ASSERT_TRUE(client.DisconnectCapture());
    runner.join();
    EXPECT_EQ(exitCode, 0);
    server.reset();
    EXPECT_FALSE(CaptureWatcher::LockHeld(lock));
    struct stat info {};
    EXPECT_NE(::lstat(socket.c_str(), &info), 0);
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

// A session without a sound server: the tries thin out to one every 16 s
// instead of one a second, and never wait longer than that.
TEST(CaptureReopen, WaitsDoubleUpToTheLongest) {
    std::vector<long> waits;
    for (auto wait = kReopenWait; waits.size() < 7; wait = NextReopenWait(wait)) waits.push_back(static_cast<long>(wait.count()));
    EXPECT_EQ(waits, (std::vector<long>{1000, 2000, 4000, 8000, 16000, 16000, 16000}));
}

}  // namespace
}  // namespace m470
