#include <gtest/gtest.h>

#include "device_link/CommandSequences.h"
#include "device_link/EventImage.h"
#include "support/ScriptedPeer.h"

namespace m470 {
namespace {

std::vector<uint8_t> CommandsOf(const std::vector<Report>& requests) {
    std::vector<uint8_t> codes;
    for (const Report& request : requests) codes.push_back(request[3]);
    return codes;
}

class Sequences : public ::testing::Test {
protected:
    void SetSlots(uint8_t slots) { peer.Memory()[5] = slots; }
    // The n-th request with this command code is answered with status.
    void FailNth(uint8_t code, int n, uint8_t status) {
        auto seen = std::make_shared<int>(0);
        peer.SetScript([this, code, n, status, seen](const Report& request) {
            if (request[3] == code && ++*seen == n) return test::ScriptedPeer::Answer{{test::ReplyTo(request, code, status)}, {}};
            return peer.DefaultAnswer(request);
        });
    }
    test::ScriptedPeer peer;
    CHidTransport transport{peer.Backend()};
};

TEST_F(Sequences, WiredReadSequenceSetsTheBlockSizeFromTheSlotCount) {
    peer.Attach(transport, LinkWired);
    SetSlots(26);
    DeviceInfo info;
    std::vector<uint8_t> table;
    ASSERT_EQ(ReadDeviceImage(transport, info, table), kResultSuccess);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0x01, 0x03, 0x07, 0x07, 0x02}));
    EXPECT_EQ(transport.BlockSize(), 78);
    EXPECT_EQ(table.size(), 78u);
    EXPECT_EQ(info.KeySlotCount(), 26);
}

TEST_F(Sequences, KeyboardReadsTheThirdTableThroughTheReceiver) {
    peer.Attach(transport, LinkReceiver);
    SetSlots(126);
    DeviceInfo info;
    std::vector<uint8_t> table, third;
    ASSERT_EQ(ReadDeviceImage(transport, info, table, &third), kResultSuccess);
    const auto codes = CommandsOf(peer.Requests());
    // One QueryLink, then 1 + 2 (info) + 16 (378 bytes) + 6 (126 bytes) + 1 reports.
    ASSERT_EQ(codes.size(), 1u + 1 + 2 + 16 + 6 + 1);
    EXPECT_EQ(codes[0], 0xAA);
    EXPECT_EQ(codes[1], 0x01);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xAA), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x1B), 6);
    EXPECT_EQ(codes.back(), 0x02);
    EXPECT_EQ(third.size(), 126u);
}

TEST_F(Sequences, TooManySlotsStopAfterDeviceInfoAndCloseTheFrame) {
    peer.Attach(transport, LinkWired);
    SetSlots(171);  // 513 bytes: larger than a block
    DeviceInfo info;
    std::vector<uint8_t> table{1, 2, 3};
    EXPECT_NE(ReadDeviceImage(transport, info, table), kResultSuccess);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0x01, 0x03, 0x02}));
    EXPECT_EQ(transport.BlockSize(), 512);
    EXPECT_EQ(table, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(Sequences, LostReceiverLinkStopsBeforeTheNextCommand) {
    peer.Attach(transport, LinkReceiver);
    int queries = 0;
    peer.SetScript([&](const Report& request) {
        if (request[3] == 0xAA && ++queries == 2)
            return test::ScriptedPeer::Answer{{test::ReplyTo(request, 0xAA)}, {}};  // byte 8 = 0: unreachable
        return peer.DefaultAnswer(request);
    });
    std::vector<uint8_t> record(87, 5);
    ConfigSequence sequence(transport);
    EXPECT_EQ(sequence.Framed({[&] { return transport.WriteSettings(record.data(), record.size(), 0); }}), kResultNoReply);
    // Writes check the link before every command; a lost link stops at once.
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0xAA, 0x01, 0xAA}));
}

TEST_F(Sequences, PagedBlocksAndOtherCommandsAddressTheirMemory) {
    peer.Attach(transport, LinkWired);
    std::vector<uint8_t> page(512, 0x42);
    ASSERT_EQ(transport.WritePagedBlock(page.data(), 60, 3, 512), kResultSuccess);
    ASSERT_EQ(transport.ClaimLighting(), kResultSuccess);
    ASSERT_TRUE(transport.SetBlockSize(30));
    std::vector<uint8_t> third(10);
    ASSERT_EQ(transport.ReadKeyTableThird(third.data()), kResultSuccess);
    std::vector<uint8_t> back(60);
    ASSERT_EQ(transport.ReadPagedBlock(back.data(), back.size(), 3, 512), kResultSuccess);
    EXPECT_EQ(back, std::vector<uint8_t>(60, 0x42));
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0][3], 0x0B);
    EXPECT_EQ(requests[0][5] | requests[0][6] << 8, 1536);
    EXPECT_EQ(requests[1][5] | requests[1][6] << 8, 1536 + 56);
    EXPECT_EQ(requests[2][3], 0x1C);
    EXPECT_EQ(requests[3][3], 0x1B);
    EXPECT_EQ(requests[3][4], 10);
}

TEST(EventImages, TwoMacrosOfThreeAndFiveEvents) {
    std::vector<ImageEntry> entries(2);
    for (uint8_t i = 0; i < 3; ++i) entries[0].push_back({i, 1, 2, 3});
    for (uint8_t i = 0; i < 5; ++i) entries[1].push_back({i, 4, 5, 6});
    const std::vector<uint8_t> image = BuildEventImage(entries);
    ASSERT_EQ(image.size(), 60u);
    EXPECT_EQ(image[0], 0xAA);
    EXPECT_EQ(image[1], 0x55);
    EXPECT_EQ(image[2] | image[3] << 8, 60);
    EXPECT_EQ(image[4] | image[5] << 8, 2);
    for (size_t i = 6; i < 16; ++i) EXPECT_EQ(image[i], 0);
    EXPECT_EQ(image[16] | image[17] << 8, 20);
    EXPECT_EQ(image[18] | image[19] << 8, 36);
    EXPECT_EQ(image[20] | image[21] << 8, 3);
    EXPECT_EQ(image[36] | image[37] << 8, 5);
    EXPECT_EQ(image[24], 0);  // first event of the first macro
    EXPECT_EQ(image[59], 6);  // last byte of the last event
    std::vector<ImageEntry> parsed;
    ASSERT_TRUE(ParseEventImage(image.data(), image.size(), parsed));
    EXPECT_EQ(parsed, entries);

    std::vector<uint8_t> broken = image;
    broken[18] = 40;  // offset table no longer matches
    EXPECT_FALSE(ParseEventImage(broken.data(), broken.size(), parsed));
    EXPECT_FALSE(ParseEventImage(image.data(), image.size() - 1, parsed));
}

TEST(EventImages, FourEmptyRecoilPatternsAre40Bytes) {
    const std::vector<uint8_t> image = BuildEventImage(std::vector<ImageEntry>(4));
    ASSERT_EQ(image.size(), 40u);
    EXPECT_EQ(image[16] | image[17] << 8, 24);
    EXPECT_EQ(image[22] | image[23] << 8, 36);
}

TEST_F(Sequences, MacroImageTooLargeIsNotSent) {
    peer.Attach(transport, LinkWired);
    std::vector<ImageEntry> entries(1, ImageEntry(40, ImageEvent{1, 2, 3, 4}));  // 16 + 6 + 160 = 182 bytes
    uint32_t surplus = 0;
    EXPECT_NE(DownloadEventImage(transport, EventImageKind::Macros, entries, 128, &surplus), kResultSuccess);
    EXPECT_EQ(surplus, (182u - 128u) / 4 + 1);
    EXPECT_TRUE(peer.Requests().empty());

    ASSERT_EQ(DownloadEventImage(transport, EventImageKind::Macros, entries, 256, &surplus), kResultSuccess);
    EXPECT_EQ(surplus, 0u);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0x01, 0x15, 0x15, 0x15, 0x15, 0x02}));
    peer.ClearRequests();
    ASSERT_EQ(DownloadEventImage(transport, EventImageKind::Recoil, entries, 0, nullptr), kResultSuccess);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0x01, 0x17, 0x17, 0x17, 0x17, 0x02}));
}

// A chunk refused in the middle of a write: no further chunk goes out, the
// frame is still closed so the firmware leaves configuration, and the caller
// gets the refusal, not the result of EndConfig.
TEST_F(Sequences, AChunkFailingMidWriteStopsTheWriteClosesTheFrameAndIsTheResult) {
    peer.Attach(transport, LinkWired);
    FailNth(0x15, 2, 0xFE);
    std::vector<ImageEntry> entries(1, ImageEntry(40, ImageEvent{1, 2, 3, 4}));
    EXPECT_EQ(DownloadEventImage(transport, EventImageKind::Macros, entries, 256, nullptr), kResultFailed);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0x01, 0x15, 0x15, 0x02}));

    // The same through the receiver: the link is checked before each command, EndConfig included.
    peer.ClearRequests();
    peer.Attach(transport, LinkReceiver);
    FailNth(0x06, 3, 0xFF);
    std::vector<uint8_t> record(87, 5);
    EXPECT_EQ(ConfigSequence(transport).Framed({[&] { return transport.WriteSettings(record.data(), record.size(), 0); }}),
              kResultRejected);
    EXPECT_EQ(CommandsOf(peer.Requests()), (std::vector<uint8_t>{0xAA, 0x01, 0xAA, 0x06, 0x06, 0x06, 0xAA, 0x02}));
}

}  // namespace
}  // namespace m470
