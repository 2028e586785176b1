// The window's side of the capture socket against a fake capture program:
// the commands it sends, the frames it takes and what it does with a peer
// that misbehaves.
#include <gtest/gtest.h>

#include "music/CaptureClient.h"
#include "music/SpectrumProcessing.h"
#include "music/CapturePeer.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

using test::CapturePeer;

class CaptureClientTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string path = folder.File("M470AudioRecord");
    CapturePeer peer{path};
    CaptureClient client{path};
};

TEST_F(CaptureClientTest, ConnectRegistersOpensAndStartsThenDisconnectStopsUnregistersAndQuits) {
    ASSERT_TRUE(client.ConnectCapture());
    const int first = peer.Accept();
    ASSERT_GE(first, 0);
    EXPECT_EQ(CapturePeer::Read(first, 36),
              CapturePeer::Concat({CommandFrame(CaptureCommand::Register), CommandFrame(CaptureCommand::Open),
                                   CommandFrame(CaptureCommand::Start)}));
    // Disconnecting finds the program anew, on a connection of its own.
    ASSERT_TRUE(client.DisconnectCapture());
    const int second = peer.Accept();
    ASSERT_GE(second, 0);
    EXPECT_EQ(CapturePeer::Read(second, 36),
              CapturePeer::Concat({CommandFrame(CaptureCommand::Stop), CommandFrame(CaptureCommand::Unregister),
                                   CommandFrame(CaptureCommand::Quit)}));
    EXPECT_TRUE(CapturePeer::SeesHangUp(first));
    EXPECT_TRUE(CapturePeer::SeesHangUp(second));
    EXPECT_FALSE(client.Connected());
}

TEST_F(CaptureClientTest, WithoutTheProgramNothingIsSent) {
    CaptureClient nowhere(folder.File("missing"));
    EXPECT_FALSE(nowhere.ConnectCapture());
    EXPECT_FALSE(nowhere.Connected());
    EXPECT_FALSE(nowhere.SendStyle({1, 2, 3}));
    EXPECT_FALSE(nowhere.DisconnectCapture());
}

TEST_F(CaptureClientTest, TheStyleGoesOnTheConnectionAsFortyBytes) {
    EXPECT_FALSE(client.SendStyle({5, 1, 7}));  // not connected yet: nothing
    ASSERT_TRUE(client.ConnectCapture());
    const int fd = peer.Accept();
    CapturePeer::Read(fd, 36);
    ASSERT_TRUE(client.SendStyle({5, 1, 7}));
    EXPECT_EQ(CapturePeer::Read(fd, 52), EncodeFrame(StyleFrame({5, 1, 7})));
}

TEST_F(CaptureClientTest, FramesFromTheProgramDriveTheBands) {
    ASSERT_TRUE(client.ConnectCapture());
    const int fd = peer.Accept();
    std::vector<int32_t> spectrum(kSpectrumValues, 0);
    spectrum[20] = 400;
    const std::vector<int32_t> bands{9, 8, 7, 6, 5, 4};
    CaptureFrame empty{FrameKind::Data, kSpectrumData, {}};
    CapturePeer::Send(fd, CapturePeer::Concat({ValuesFrame(kSpectrumData, spectrum.data(), spectrum.size()), empty,
                                               ValuesFrame(kSpectrumData, spectrum.data(), spectrum.size()),
                                               ValuesFrame(kBandData, bands.data(), bands.size()),
                                               ValuesFrame(kSpectrumData, spectrum.data(), spectrum.size())}));
    SpectrumState state;
    std::vector<std::array<int32_t, kMouseBands>> mouse;
    std::vector<std::array<int32_t, kBandValues>> keyboardBands;
    int frames = 0;
    while (frames < 4 && client.Connected()) {
        test::PumpClient(client, [&](const CaptureFrame& frame) {
            ++frames;
            const CaptureDelivery delivery = HandleCaptureFrame(state, frame, {1, 1});
            if (delivery.spectrum.mouse) mouse.push_back(*delivery.spectrum.mouse);
            if (delivery.keyboardBands) keyboardBands.push_back(*delivery.keyboardBands);
        });
    }
    EXPECT_EQ(frames, 4);  // the frame without data is not handed on
    ASSERT_EQ(mouse.size(), 1u);
    // Changes 400, 0, 0 at value 20: group 4 holds 100, 25, then 6.
    EXPECT_EQ(mouse[0][3], 6);
    ASSERT_EQ(keyboardBands.size(), 1u);
    EXPECT_EQ(keyboardBands[0], (std::array<int32_t, 6>{9, 8, 7, 6, 5, 4}));
}

TEST_F(CaptureClientTest, ABadFrameClosesTheConnectionAfterTheGoodOnes) {
    ASSERT_TRUE(client.ConnectCapture());
    const int fd = peer.Accept();
    CapturePeer::Read(fd, 36);
    const std::vector<int32_t> bands{1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> stream = EncodeFrame(ValuesFrame(kBandData, bands.data(), bands.size()));
    const std::vector<uint8_t> hostile{2, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    stream.insert(stream.end(), hostile.begin(), hostile.end());
    CapturePeer::Send(fd, stream);
    int frames = 0;
    test::PumpClient(client, [&](const CaptureFrame&) { ++frames; });
    EXPECT_EQ(frames, 1);
    EXPECT_FALSE(client.Connected());
    EXPECT_TRUE(CapturePeer::SeesHangUp(fd));
    EXPECT_FALSE(client.SendStyle({1, 1, 1}));
}

TEST_F(CaptureClientTest, AProgramThatStopsReadingLosesTheConnectionInsteadOfHoldingTheWindow) {
    ASSERT_TRUE(client.ConnectCapture());
    const int fd = peer.Accept();
    ASSERT_GE(fd, 0);
    // The peer never reads: its buffer fills, and one send waits out its limit.
    int sent = 0;
    while (client.SendStyle({1, 2, 3}) && sent < 1000000) ++sent;
    EXPECT_FALSE(client.Connected());
    EXPECT_GT(sent, 0);
}

TEST_F(CaptureClientTest, AHangUpOfTheProgramIsNoticed) {
    ASSERT_TRUE(client.ConnectCapture());
    const int fd = peer.Accept();
    ::shutdown(fd, SHUT_RDWR);
    int frames = 0;
    test::PumpClient(client, [&](const CaptureFrame&) { ++frames; });
    EXPECT_EQ(frames, 0);
    EXPECT_FALSE(client.Connected());
    // Reconnecting replaces the connection.
    ASSERT_TRUE(client.ConnectCapture());
    EXPECT_GE(peer.Accept(), 0);
}

}  // namespace
}  // namespace m470
