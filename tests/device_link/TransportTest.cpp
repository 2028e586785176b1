#include <gtest/gtest.h>

#include <thread>

#include "device_link/CommandSequences.h"
#include "device_link/HidTransport.h"
#include "platform/DebugTrace.h"
#include "support/ScriptedPeer.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::ReplyTo;

struct Chunk {
    uint8_t command, length;
    uint16_t address;
    friend bool operator==(const Chunk&, const Chunk&) = default;
};

std::ostream& operator<<(std::ostream& out, const Chunk& c) {
    return out << "{cmd " << int(c.command) << " len " << int(c.length) << " addr " << c.address << "}";
}

std::vector<Chunk> ChunksOf(const std::vector<Report>& requests) {
    std::vector<Chunk> chunks;
    for (const Report& r : requests) chunks.push_back({r[3], r[4], static_cast<uint16_t>(r[5] | r[6] << 8)});
    return chunks;
}

class Transport : public ::testing::Test {
protected:
    void Attach(int mode) { peer.Attach(transport, mode); }
    test::ScriptedPeer peer;
    CHidTransport transport{peer.Backend()};
};

TEST_F(Transport, ChecksumIsTheSumOfBytesThreeToTheEnd) {
    Attach(LinkWired);
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    const Report request = peer.Requests().at(0);
    EXPECT_EQ(request[0], 0x04);
    EXPECT_EQ(request[1], 0x01);
    EXPECT_EQ(request[2], 0x00);
    EXPECT_EQ(request[3], 0x01);
    for (size_t i = 4; i < 64; ++i) EXPECT_EQ(request[i], 0) << i;

    Report big{};
    for (size_t i = 3; i < 64; ++i) big[i] = 0xFF;
    StoreChecksum(big);
    EXPECT_EQ(big[1] | big[2] << 8, (61 * 0xFF) & 0xFFFF);
}

TEST_F(Transport, DeviceInfoIsOneChunkWiredAndTwoThroughTheReceiver) {
    for (size_t i = 0; i < 34; ++i) peer.Memory()[i] = static_cast<uint8_t>(0xA0 + i);
    uint8_t info[34] = {};
    Attach(LinkWired);
    ASSERT_EQ(transport.ReadDeviceInfo(info), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x03, 34, 0}}));

    peer.ClearRequests();
    std::fill(std::begin(info), std::end(info), 0);
    transport.SetLinkMode(LinkReceiver);
    ASSERT_EQ(transport.ReadDeviceInfo(info), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x03, 24, 0}, {0x03, 10, 24}}));
    for (size_t i = 0; i < 34; ++i) EXPECT_EQ(info[i], 0xA0 + i);
}

TEST_F(Transport, DeviceInfoStaysUntouchedWhenAChunkFails) {
    Attach(LinkReceiver);
    peer.SetScript([&](const Report& request) {
        if (request[5] == 24) return test::ScriptedPeer::Answer{{ReplyTo(request, request[3], 0xFE)}, {}};
        return peer.DefaultAnswer(request);
    });
    uint8_t info[34];
    std::fill(std::begin(info), std::end(info), 0x5A);
    EXPECT_EQ(transport.ReadDeviceInfo(info), kResultFailed);
    for (uint8_t byte : info) EXPECT_EQ(byte, 0x5A);
}

TEST_F(Transport, KeyTableOf26SlotsChunksBothWays) {
    ASSERT_TRUE(transport.SetBlockSize(26 * 3));
    std::vector<uint8_t> table(78);
    Attach(LinkWired);
    ASSERT_EQ(transport.ReadKeyTable(table.data()), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x07, 56, 0}, {0x07, 22, 56}}));
    peer.ClearRequests();
    transport.SetLinkMode(LinkReceiver);
    ASSERT_EQ(transport.ReadKeyTable(table.data()), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()),
              (std::vector<Chunk>{{0x07, 24, 0}, {0x07, 24, 24}, {0x07, 24, 48}, {0x07, 6, 72}}));
}

TEST_F(Transport, BlockWriteChunksKeepStaleBytesAfterTheLastChunk) {
    std::vector<uint8_t> block(512);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
    Attach(LinkWired);
    ASSERT_EQ(transport.WriteKeyTable(block.data(), 0), kResultSuccess);
    auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 10u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(ChunksOf(requests)[i], (Chunk{0x09, 56, static_cast<uint16_t>(56 * i)}));
    EXPECT_EQ(ChunksOf(requests)[9], (Chunk{0x09, 8, 504}));
    const Report& last = requests[9];
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(last[8 + i], block[504 + i]);
    for (size_t i = 8; i < 56; ++i) EXPECT_EQ(last[8 + i], block[448 + i]) << "stale byte " << i;
    EXPECT_EQ(last[1] | last[2] << 8, ReportChecksum(last));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), peer.Memory().begin()));

    peer.ClearRequests();
    transport.SetLinkMode(LinkReceiver);
    ASSERT_EQ(transport.WriteKeyTableSecond(block.data(), 0), kResultSuccess);
    requests = peer.Requests();
    ASSERT_EQ(requests.size(), 22u);
    EXPECT_EQ(ChunksOf(requests)[21], (Chunk{0x27, 8, 504}));
}

TEST_F(Transport, RefusalsSendNothing) {
    Attach(LinkWired);
    std::vector<uint8_t> block(512);
    EXPECT_EQ(transport.WriteKeyTable(block.data(), 1), kResultRefusedPage);
    EXPECT_EQ(transport.WriteKeyTableSecond(block.data(), -1), kResultRefusedPage);
    EXPECT_FALSE(transport.SetBlockSize(513));
    EXPECT_EQ(transport.BlockSize(), 512);
    EXPECT_TRUE(peer.Requests().empty());
}

TEST_F(Transport, RecoilImageAlwaysUses56ByteChunks) {
    std::vector<uint8_t> image(100, 0x33);
    for (int mode : {LinkWired, LinkReceiver}) {
        Attach(mode);
        peer.ClearRequests();
        ASSERT_EQ(transport.WriteRecoilImage(image.data(), image.size()), kResultSuccess);
        EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x17, 56, 0}, {0x17, 44, 56}}));
    }
}

TEST_F(Transport, StatusBytesBecomeResultCodesAndStopAChunkedTransfer) {
    Attach(LinkWired);
    uint8_t status = 0xFF;
    peer.SetScript([&](const Report& request) {
        if ((request[5] | request[6] << 8) == 56) return test::ScriptedPeer::Answer{{ReplyTo(request, request[3], status)}, {}};
        return peer.DefaultAnswer(request);
    });
    std::vector<uint8_t> data(200);
    EXPECT_EQ(transport.WriteSettings(data.data(), data.size(), 0), kResultRejected);
    EXPECT_EQ(peer.Requests().size(), 2u);
    status = 0xFE;
    EXPECT_EQ(transport.ReadSettings(data.data(), data.size(), 0), kResultFailed);
    status = 0x00;
    EXPECT_EQ(transport.ReadSettings(data.data(), data.size(), 0), kResultSuccess);
}

TEST_F(Transport, ReceiverAnsweringForAnAbsentDeviceGivesMinus101AtOnce) {
    Attach(LinkReceiver);
    peer.SetScript([](const Report& request) { return test::ScriptedPeer::Answer{{ReplyTo(request, 0xAA)}, {}}; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.BeginConfig(), kResultDeviceAbsent);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);  // no second read with its 5 s limit
    uint8_t info[34];
    EXPECT_EQ(transport.ReadDeviceInfo(info), kResultDeviceAbsent);
    EXPECT_EQ(peer.Requests().size(), 2u);  // the transfer stopped at its first chunk
}

TEST_F(Transport, MismatchedFirstReplyIsSkippedOnceAndTheSecondIsTaken) {
    Attach(LinkWired);
    peer.SetScript([](const Report& request) {
        return test::ScriptedPeer::Answer{{ReplyTo(request, 0x12), ReplyTo(request, request[3])}, {}};
    });
    EXPECT_EQ(transport.BeginConfig(), kResultSuccess);
    peer.SetScript([](const Report& request) {
        return test::ScriptedPeer::Answer{{ReplyTo(request, 0x12), ReplyTo(request, 0x13)}, {}};
    });
    // Neither matches: the second reply counts whatever its byte 3 (firmware relies on it).
    EXPECT_EQ(transport.BeginConfig(), kResultSuccess);
    // In wired mode 0xAA is just another mismatch.
    peer.SetScript([](const Report& request) {
        return test::ScriptedPeer::Answer{{ReplyTo(request, 0xAA), ReplyTo(request, request[3])}, {}};
    });
    EXPECT_EQ(transport.BeginConfig(), kResultSuccess);
}

TEST_F(Transport, UnopenedTransportWritesAndLogsNothing) {
    DebugTrace::Clear();
    uint8_t info[34];
    EXPECT_EQ(transport.BeginConfig(), kResultNoReply);
    EXPECT_EQ(transport.ReadDeviceInfo(info), kResultNoReply);
    peer.Attach(transport, LinkWired);
    transport.SetOpened(false);
    EXPECT_EQ(transport.WriteSettings(info, sizeof info, 0), kResultNoReply);
    EXPECT_TRUE(peer.Requests().empty());
    EXPECT_TRUE(DebugTrace::Lines().empty());
    EXPECT_FALSE(transport.Busy());
}

TEST_F(Transport, NoReplyEndsWithZeroAfterTwoReads) {
    Attach(LinkWired);
    peer.SetScript([](const Report&) { return test::ScriptedPeer::Answer{}; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.BeginConfig(), kResultNoReply);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);  // two wired time limits
}

TEST_F(Transport, DumpsEachExchangeInTheTraceFormat) {
    Attach(LinkWired);
    DebugTrace::Clear();
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    const auto lines = DebugTrace::Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "命令");
    EXPECT_EQ(lines[1], "04 01 00 01   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  "
                        "00 00 00 00  00 00 00 00");
    EXPECT_EQ(lines[2], "00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  "
                        "00 00 00 00  00 00 00 00");
    EXPECT_EQ(lines[3], "返回");
    EXPECT_EQ(lines[4].substr(0, 11), "04 00 00 01");
    EXPECT_EQ(lines[4].size(), lines[1].size());
}

TEST_F(Transport, ShortReadAndQueryLink) {
    Attach(LinkWired);
    for (size_t i = 0; i < 6; ++i) peer.Memory()[0x40 + i] = static_cast<uint8_t>(i + 1);
    uint8_t status[6] = {};
    ASSERT_EQ(transport.ReadShort(status, sizeof status, 0x40), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x1A, 6, 0x40}}));
    EXPECT_EQ(status[5], 6);

    peer.ClearRequests();
    EXPECT_TRUE(transport.QueryLink());
    EXPECT_TRUE(peer.Requests().empty());  // wired: nothing sent

    transport.SetLinkMode(LinkReceiver);
    EXPECT_TRUE(transport.QueryLink());
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0xAA, 0, 0}}));
    peer.SetScript([](const Report& request) { return test::ScriptedPeer::Answer{{ReplyTo(request, 0xAA)}, {}}; });
    EXPECT_FALSE(transport.QueryLink());  // byte 8 is not 0xFF
    peer.SetScript([](const Report& request) {
        Bytes reply = ReplyTo(request, 0xAA, 0xFE);
        reply[8] = 0xFF;
        return test::ScriptedPeer::Answer{{reply}, {}};
    });
    EXPECT_FALSE(transport.QueryLink());
}

TEST_F(Transport, LightingChunkIsDroppedWhileAConfigurationExchangeIsInFlight) {
    Attach(LinkWired);
    peer.SetScript([&](const Report& request) {
        auto answer = peer.DefaultAnswer(request);
        if (request[3] == 0x05) answer.delay = 300ms;
        return answer;
    });
    std::vector<uint8_t> settings(20);
    std::thread configuration([&] { EXPECT_EQ(transport.ReadSettings(settings.data(), settings.size(), 0), kResultSuccess); });
    while (!transport.Busy()) std::this_thread::sleep_for(1ms);
    DebugTrace::Clear();
    std::vector<uint8_t> frame(60, 0x80);
    EXPECT_EQ(transport.StreamLighting(frame.data(), frame.size()), kResultSuccess);
    configuration.join();
    for (const Report& request : peer.Requests()) EXPECT_NE(request[3], 0x12);
    const auto lines = DebugTrace::Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "放弃灯光数据"), 2);  // 56 + 4 bytes: two chunks

    peer.ClearRequests();
    DebugTrace::Clear();
    ASSERT_EQ(transport.StreamLighting(frame.data(), frame.size()), kResultSuccess);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x12, 56, 0}, {0x12, 4, 56}}));
    EXPECT_TRUE(DebugTrace::Lines().empty());  // the lighting stream is not dumped
}

TEST_F(Transport, LightingAndConfigurationThreadsShareOneTransport) {
    Attach(LinkReceiver);
    for (size_t i = 0; i < 200; ++i) peer.Memory()[1000 + i] = static_cast<uint8_t>(i);
    std::atomic<bool> stop{false};
    std::atomic<int> lightingFailures{0};
    std::thread lighting([&] {
        std::vector<uint8_t> frame(60, 1);
        while (!stop)
            if (transport.StreamLighting(frame.data(), frame.size()) != kResultSuccess) ++lightingFailures;
    });
    int failures = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data(48);
        const bool ok = transport.ReadSettings(data.data(), data.size(), 1000) == kResultSuccess &&
                        std::equal(data.begin(), data.end(), peer.Memory().begin() + 1000);
        failures += ok ? 0 : 1;
    }
    stop = true;
    lighting.join();
    // Neither thread ever takes the other's reply.
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(lightingFailures, 0);
}

TEST_F(Transport, UnplugDuringAnExchangeFailsWithoutHanging) {
    Attach(LinkWired);
    peer.SetScript([](const Report&) { return test::ScriptedPeer::Answer{}; });
    std::thread unplug([&] {
        std::this_thread::sleep_for(50ms);
        peer.Backend()->Unplug(peer.Interface());
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.BeginConfig(), kResultNoReply);
    unplug.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(transport.EndConfig(), kResultWriteFailed);
}

TEST_F(Transport, EndConfigWaitsTenMilliseconds) {
    Attach(LinkWired);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(transport.EndConfig(0), kResultSuccess);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms);
    EXPECT_EQ(ChunksOf(peer.Requests()), (std::vector<Chunk>{{0x02, 0, 0}}));
}

// The pause before EndConfig runs from the end of the last exchange: time
// the caller spent since then is not slept again, and the wire order stays.
TEST_F(Transport, EndConfigSleepsOnlyWhatIsLeftOfItsPause) {
    CHidTransport::Clock::time_point now{std::chrono::hours(1)};
    std::vector<CHidTransport::Clock::duration> slept;
    transport.SetPacing({[&] { return now; }, [&](CHidTransport::Clock::duration pause) {
                             slept.push_back(pause);
                             now += pause;
                         }});
    Attach(LinkWired);
    now += 3ms;
    ASSERT_EQ(transport.EndConfig(), kResultSuccess);  // right after the attachment: the rest of it
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    now += 4ms;
    ASSERT_EQ(transport.EndConfig(), kResultSuccess);
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    const uint8_t record[21] = {};
    ASSERT_EQ(transport.WriteSettings(record, sizeof record, 0), kResultSuccess);
    ASSERT_EQ(transport.EndConfig(), kResultSuccess);  // at once after the write: all of it
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    now += 25ms;
    ASSERT_EQ(transport.EndConfig(), kResultSuccess);  // long enough already: none
    EXPECT_EQ(slept, (std::vector<CHidTransport::Clock::duration>{7ms, 6ms, 10ms}));
    EXPECT_EQ(ChunksOf(peer.Requests()),
              (std::vector<Chunk>{{0x02, 0, 0}, {0x01, 0, 0}, {0x02, 0, 0}, {0x01, 0, 0}, {0x06, 21, 0}, {0x02, 0, 0},
                                  {0x01, 0, 0}, {0x02, 0, 0}}));
}

// Attach opens one link's command interface and makes it carry the
// traffic; switching link keeps the other interface; Detach closes both.
TEST_F(Transport, AttachOpensOneLinkAndDetachClosesBoth) {
    ASSERT_TRUE(transport.Attach(peer.CommandPath(), LinkWired));
    EXPECT_TRUE(transport.Opened());
    EXPECT_FALSE(transport.ReceiverMode());
    EXPECT_TRUE(transport.Primary().IsOpen());
    EXPECT_FALSE(transport.Secondary().IsOpen());
    const uint64_t wired = transport.Attachment();
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);
    EXPECT_EQ(peer.Requests().size(), 1u);

    ASSERT_TRUE(transport.Attach(peer.ReceiverCommandPath(), LinkReceiver));
    EXPECT_TRUE(transport.ReceiverMode());
    EXPECT_EQ(transport.ChunkSize(), 24);
    EXPECT_TRUE(transport.Primary().IsOpen());  // the cable stays open for a switch back
    EXPECT_TRUE(transport.Secondary().IsOpen());
    EXPECT_GT(transport.Attachment(), wired);  // a new attachment: earlier reads are stale

    // A path that does not open leaves the transport closed, not on the old link.
    EXPECT_FALSE(transport.Attach("/dev/hidraw99&vid_320f&pid_222e&mi_01&col04", LinkWired));
    EXPECT_FALSE(transport.Opened());
    EXPECT_EQ(transport.BeginConfig(), kResultNoReply);

    ASSERT_TRUE(transport.Attach(peer.CommandPath(), LinkWired));
    transport.Detach();
    EXPECT_FALSE(transport.Opened());
    EXPECT_FALSE(transport.Primary().IsOpen());
    EXPECT_FALSE(transport.Secondary().IsOpen());
    EXPECT_EQ(transport.BeginConfig(), kResultNoReply);
}

}  // namespace
}  // namespace m470
