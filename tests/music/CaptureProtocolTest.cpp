// Frames on the capture socket, byte for byte, and what the decoder does
// with a stream that is split, torn or hostile.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "music/CaptureClient.h"
#include "music/CaptureProtocol.h"
#include "music/MusicStyles.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    return std::vector<uint8_t>(values.begin(), values.end());
}

TEST(CaptureProtocol, CommandAndStyleFramesByteForByte) {
    EXPECT_EQ(EncodeFrame(CommandFrame(CaptureCommand::Quit)), Bytes({1, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodeFrame(CommandFrame(CaptureCommand::Register)), Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    MusicStyles styles;
    styles.style = 2;
    styles.colours[2] = {5, 0, 7};
    std::vector<uint8_t> expected = Bytes({2, 0, 0, 0, 10, 0, 0, 0, 40, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0});
    expected.resize(12 + 40, 0);
    // A green of 0 reaches the capture program as 1.
    EXPECT_EQ(EncodeFrame(StyleFrame(StyleColourForCapture(styles))), expected);
    const int32_t values[2] = {-1, 0x01020304};
    EXPECT_EQ(EncodeFrame(ValuesFrame(kSpectrumData, values, 2)),
              Bytes({2, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}));
}

TEST(CaptureProtocol, FramesSurviveAnySplitOfTheStream) {
    const int32_t values[3] = {11, 22, 33};
    std::vector<uint8_t> stream = EncodeFrame(CommandFrame(CaptureCommand::Start));
    const std::vector<uint8_t> data = EncodeFrame(ValuesFrame(kBandData, values, 3));
    stream.insert(stream.end(), data.begin(), data.end());
    FrameDecoder decoder;
    std::vector<CaptureFrame> frames;
    for (uint8_t byte : stream) ASSERT_TRUE(decoder.Feed(&byte, 1, frames));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], CommandFrame(CaptureCommand::Start));
    EXPECT_EQ(frames[1], ValuesFrame(kBandData, values, 3));
    EXPECT_EQ(ReadValues(frames[1].data, kBandBytes), (std::vector<int32_t>{11, 22, 33}));
    EXPECT_EQ(decoder.Pending(), 0u);
}

TEST(CaptureProtocol, ABadLengthOrKindBreaksTheDecoderForGood) {
    FrameDecoder decoder;
    std::vector<CaptureFrame> frames;
    std::vector<uint8_t> stream = EncodeFrame(CommandFrame(CaptureCommand::Stop));
    const std::vector<uint8_t> tooLong = Bytes({2, 0, 0, 0, 1, 0, 0, 0, 0x01, 0x10, 0, 0});  // 4097 bytes
    stream.insert(stream.end(), tooLong.begin(), tooLong.end());
    EXPECT_FALSE(decoder.Feed(stream.data(), stream.size(), frames));
    ASSERT_EQ(frames.size(), 1u);  // what came before is kept
    EXPECT_TRUE(decoder.Broken());
    const std::vector<uint8_t> good = EncodeFrame(CommandFrame(CaptureCommand::Quit));
    EXPECT_FALSE(decoder.Feed(good.data(), good.size(), frames));
    EXPECT_EQ(frames.size(), 1u);

    FrameDecoder limit;
    std::vector<uint8_t> largest = Bytes({2, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x10, 0, 0});
    largest.resize(12 + kMaxFrameData, 0);
    EXPECT_TRUE(limit.Feed(largest.data(), largest.size(), frames));
    EXPECT_EQ(frames.back().data.size(), kMaxFrameData);

    FrameDecoder kind;
    const std::vector<uint8_t> unknown = Bytes({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(kind.Feed(unknown.data(), unknown.size(), frames));
}

TEST(CaptureProtocol, TheSocketFolderMustBeOursAlone) {
    test::TempFolder folder;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = saved ? saved : "";
    const std::string runtime = folder.File("run");
    ::mkdir(runtime.c_str(), 0755);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::string why;
    EXPECT_EQ(CaptureFolder(&why), "");
    EXPECT_NE(why.find("open to other users"), std::string::npos) << why;
    // The window does not connect into a folder others can enter.
    CaptureClient client;
    EXPECT_FALSE(client.ConnectCapture());
    ::chmod(runtime.c_str(), 0700);
    EXPECT_EQ(CaptureFolder(&why), runtime);
    EXPECT_EQ(CaptureSocketPath(runtime), runtime + "/M470AudioRecord");
    EXPECT_EQ(CaptureLockPath(runtime), runtime + "/M470AudioRecord.lock");
    if (saved) ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace m470
