#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "device_link/CommandCodes.h"
#include "device_link/CommandSequences.h"
#include "device_link/KnownInterface.h"
#include "devices/Products.h"
#include "devices/keyboard/LogicalKeys.h"
#include "sim/ProductFirmware.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

class VirtualMouse : public ::testing::Test {
protected:
    test::VirtualRig rig;
    CHidTransport transport{rig.hub.Backend()};
};

TEST_F(VirtualMouse, FirstFullReadWiredFindsTheFactoryButtonsInTheirSlots) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    DeviceInfo info;
    std::vector<uint8_t> keyTable;
    ASSERT_EQ(ReadDeviceImage(transport, info, keyTable), kResultSuccess);
    EXPECT_EQ(info.SensorCode(), kThreeSegmentSensor);
    EXPECT_EQ(info.KeySlotCount(), mouse_memory::kKeySlots);
    EXPECT_EQ(info.SensitivityStep(), mouse_memory::kStep);
    EXPECT_EQ(info.LowestSensitivity(), mouse_memory::kBase);
    ASSERT_EQ(keyTable.size(), mouse_memory::kKeySlots * 3);
    const size_t leftSlot = mouse_memory::kButtonSlots[0], fireSlot = mouse_memory::kButtonSlots[10];
    EXPECT_NE(leftSlot, 0u);  // the slot order is not the logical order
    EXPECT_EQ(std::vector<uint8_t>(keyTable.begin() + leftSlot * 3, keyTable.begin() + leftSlot * 3 + 3),
              (std::vector<uint8_t>{0x10, 0x01, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(keyTable.begin() + fireSlot * 3, keyTable.begin() + fireSlot * 3 + 3),
              (std::vector<uint8_t>{0x14, 0x78, 0x02}));

    uint8_t record[87] = {};
    ASSERT_EQ(transport.ReadSettings(record, sizeof record, 0), kResultSuccess);
    EXPECT_EQ(record[0], 0);   // active record
    EXPECT_EQ(record[12], 1);  // active stage
    EXPECT_EQ(record[14 + 9 * 5 + 2], 81);
    EXPECT_FALSE(rig.hub.Firmware("mouse")->InConfigFrame());
}

TEST_F(VirtualMouse, ThroughTheReceiverWithTheMouseOnAndOff) {
    rig.hub.Plug("mouse-receiver");
    rig.Open(transport, "mouse", LinkReceiver);
    DeviceInfo info;
    std::vector<uint8_t> keyTable;
    ASSERT_EQ(ReadDeviceImage(transport, info, keyTable), kResultSuccess);
    EXPECT_EQ(info.KeySlotCount(), mouse_memory::kKeySlots);
    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_FALSE(traffic.empty());
    EXPECT_EQ(traffic.front().interfaceName, "mouse-receiver");
    EXPECT_EQ(traffic.front().request[3], 0xAA);
    EXPECT_EQ(traffic.front().reply[8], 0xFF);

    rig.hub.SetPower("mouse", false);
    EXPECT_FALSE(transport.QueryLink());
    EXPECT_EQ(transport.BeginConfig(), kResultDeviceAbsent);
    EXPECT_NE(ReadDeviceImage(transport, info, keyTable), kResultSuccess);
    rig.hub.SetPower("mouse", true);
    EXPECT_TRUE(transport.QueryLink());
}

TEST_F(VirtualMouse, WritesLandInMemoryOnlyInsideAFrame) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    std::vector<uint8_t> record(87, 0x5A);
    EXPECT_EQ(transport.WriteSettings(record.data(), record.size(), 0), kResultRejected);
    EXPECT_NE(rig.hub.Firmware("mouse")->Area(0x06)[1], 0x5A);

    ASSERT_EQ(ConfigSequence(transport).Framed({[&] { return transport.WriteSettings(record.data(), record.size(), 128); }}),
              kResultSuccess);
    const auto memory = rig.hub.Firmware("mouse")->Area(0x06);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 128, memory.begin() + 128 + 87), record);
    EXPECT_NE(memory[128 + 87], 0x5A);
}

TEST_F(VirtualMouse, BadRequestsGetTheirStatus) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    Report request{};
    request[0] = 0x04;
    request[3] = 0x01;
    request[1] = 0x07;  // wrong checksum
    Report reply{};
    ASSERT_EQ(transport.Transact(request.data(), request.size(), reply.data(), reply.size(), nullptr), kResultSuccess);
    EXPECT_EQ(reply[7], 0xFE);
    EXPECT_FALSE(rig.hub.Firmware("mouse")->InConfigFrame());

    request = {};
    request[0] = 0x04;
    request[3] = 0x44;  // no such command
    StoreChecksum(request);
    ASSERT_EQ(transport.Transact(request.data(), request.size(), reply.data(), reply.size(), nullptr), kResultSuccess);
    EXPECT_EQ(reply[3], 0x44);
    EXPECT_EQ(reply[7], 0xFF);

    uint8_t data[56];
    EXPECT_EQ(transport.ReadSettings(data, 56, 1024 - 20), kResultRejected);  // past the settings memory
}

TEST_F(VirtualMouse, InjectedFaultsFailTheirCodeOnlyAndLeaveMemoryAlone) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    ASSERT_TRUE(rig.hub.InjectFault("mouse", 0x06, 2));
    const std::vector<uint8_t> before = rig.hub.Firmware("mouse")->Area(0x06);
    std::vector<uint8_t> record(87, 0x5A);
    const auto write = [&] { return transport.WriteSettings(record.data(), record.size(), 0); };
    ASSERT_EQ(transport.BeginConfig(), kResultSuccess);  // another code passes
    EXPECT_EQ(write(), kResultFailed);                    // first 56-byte chunk
    EXPECT_EQ(write(), kResultFailed);
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x06), before);
    EXPECT_EQ(rig.hub.Product("mouse")->PendingFaults(), 0u);
    EXPECT_EQ(write(), kResultSuccess);
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x06)[86], 0x5A);

    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_EQ(traffic.size(), 5u);  // begin, two failed chunks, two good ones
    Report failed{};
    for (size_t byte : {0u, 3u, 4u, 5u, 6u}) failed[byte] = traffic[1].request[byte];
    failed[7] = 0xFE;
    EXPECT_EQ(traffic[1].reply, failed);
    EXPECT_EQ(traffic[2].reply, failed);
}

TEST_F(VirtualMouse, DroppedRequestsGetNoReplyOnEitherLink) {
    rig.hub.Plug("mouse-receiver");
    rig.Open(transport, "mouse", LinkReceiver);
    ASSERT_EQ(rig.hub.RunCommand("fail mouse-receiver 0x1A drop"), "");
    uint8_t status[6] = {};
    EXPECT_EQ(transport.ReadShort(status, sizeof status, 0), kResultNoReply);
    EXPECT_EQ(transport.ReadShort(status, sizeof status, 0), kResultSuccess);
    EXPECT_EQ(status[0], 100);
    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_EQ(traffic.size(), 2u);
    EXPECT_TRUE(traffic[0].dropped);
    EXPECT_FALSE(traffic[1].dropped);
}

// The command collection shares its node with the notifications: 63 of them
// unread fill the kernel queue, and only emptying it first saves the reply.
TEST_F(VirtualMouse, UnreadNotificationsDoNotCostTheNextReply) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    for (int i = 0; i < 63; ++i) ASSERT_TRUE(rig.hub.Notify("mouse", 0x0403));
    uint8_t status[6] = {};
    ASSERT_EQ(transport.ReadShort(status, sizeof status, 0), kResultSuccess);
    EXPECT_EQ(status[0], 100);
    // The notifications still reach the notification collection.
    CHidDevice notify(rig.hub.Backend());
    ASSERT_TRUE(notify.Open(rig.PathOf("mouse", 3), true, true, true, false));
    ASSERT_TRUE(rig.hub.Notify("mouse", 0x0403));
    uint8_t report[64] = {};
    ASSERT_EQ(notify.Read(report, sizeof report, nullptr, 1000), 1);
    EXPECT_EQ(report[0], 0x03);
    EXPECT_EQ(report[1], 0x03);
    EXPECT_EQ(report[2], 0x04);
}

// Another opener of the node (a second program, an earlier exchange that
// timed out) leaves two key-table replies in our queue: the transport skips
// one mismatched reply and takes the next whatever it answers, so only
// emptying the queue before the request keeps them out of the settings read.
TEST_F(VirtualMouse, StaleRepliesOfAnotherCommandAreNotTakenForTheSettingsRead) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    CHidDevice other(rig.hub.Backend());
    ASSERT_TRUE(other.Open(rig.PathOf("mouse", 4), true, true, true, false));
    Report keyRead{};
    keyRead[packet::kReportId] = kCommandReportId;
    keyRead[packet::kCommand] = command::kReadKeyTable;
    keyRead[packet::kLength] = 56;
    StoreChecksum(keyRead);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(other.Write(keyRead.data(), keyRead.size(), nullptr, 1000));

    const std::vector<uint8_t> settings = rig.hub.Firmware("mouse")->Area(command::kReadSettings);
    ASSERT_GE(settings.size(), 80u);
    ASSERT_NE(rig.hub.Firmware("mouse")->Area(command::kReadKeyTable)[0], settings[0]);  // a mix-up would show
    std::vector<uint8_t> read(80, 0xEE);
    rig.hub.Traffic().Clear();
    ASSERT_EQ(transport.ReadSettings(read.data(), read.size(), 0), kResultSuccess);
    EXPECT_EQ(read, std::vector<uint8_t>(settings.begin(), settings.begin() + 80));
    // Two chunks on the wire, each answered once; nothing left over for the next exchange.
    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_EQ(traffic.size(), 2u);
    EXPECT_EQ(traffic[0].request[packet::kCommand], command::kReadSettings);
    uint8_t status[6] = {};
    ASSERT_EQ(transport.ReadShort(status, sizeof status, 0), kResultSuccess);
    EXPECT_EQ(status[0], 100);
}

TEST_F(VirtualMouse, UnplugDuringAnExchangeFailsAndNothingHangs) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    rig.hub.SetLatency(300ms, 300ms);
    std::thread unplug([&] {
        std::this_thread::sleep_for(50ms);
        rig.hub.Unplug("mouse");
    });
    uint8_t info[34];
    EXPECT_NE(transport.ReadDeviceInfo(info), kResultSuccess);
    unplug.join();
    EXPECT_TRUE(rig.hub.Backend()->EnumerateInterfaces().empty());
    EXPECT_NE(transport.BeginConfig(), kResultSuccess);
}

TEST_F(VirtualMouse, ImagesAreCheckedWhenTheFrameCloses) {
    rig.hub.Plug("mouse");
    rig.Open(transport, "mouse", LinkWired);
    std::vector<ImageEntry> macros(2);
    macros[0] = {{1, 2, 3, 4}};
    macros[1] = {{5, 6, 7, 8}, {9, 10, 11, 12}};
    uint32_t surplus = 0;
    ASSERT_EQ(DownloadEventImage(transport, EventImageKind::Macros, macros, 2048, &surplus), kResultSuccess);
    EXPECT_EQ(rig.hub.Firmware("mouse")->MacroImage(), macros);
    ASSERT_EQ(DownloadEventImage(transport, EventImageKind::Recoil, std::vector<ImageEntry>(4), 0, nullptr),
              kResultSuccess);
    EXPECT_EQ(rig.hub.Firmware("mouse")->RecoilImage().size(), 4u);

    std::vector<uint8_t> garbage(40, 0x11);
    ConfigSequence(transport).Framed({[&] { return transport.WriteMacroImage(garbage.data(), garbage.size()); }});
    EXPECT_EQ(rig.hub.Firmware("mouse")->ImagesRejected(), 1);
    EXPECT_EQ(rig.hub.Firmware("mouse")->MacroImage(), macros);  // the last good one stays
}

TEST_F(VirtualMouse, NotificationsDecodeToTheirCodesAndSwitchMemory) {
    rig.hub.Plug("mouse");
    CHidDevice notify(rig.hub.Backend());
    ASSERT_TRUE(notify.Open(rig.PathOf("mouse", 3), true, true, true, false));
    EXPECT_EQ(MatchCapabilities({notify.Attributes().vendorId, notify.Attributes().productId, notify.InterfaceNumber(),
                                 notify.CollectionNumber(), notify.Caps().usagePage, notify.Caps().usage},
                                kKnownInterfaces),
              5u);
    for (uint16_t code : {0x0401, 0x0403, 0x1123}) {
        ASSERT_TRUE(rig.hub.Notify("mouse", code));
        std::vector<uint8_t> report(notify.InputReportByteLength());
        ASSERT_EQ(notify.Read(report.data(), report.size(), nullptr, 1000), 1);
        ASSERT_TRUE(notify.UnpackInputReport(report.data(), report.size()));
        EXPECT_EQ(notify.InputItems().at(0).usages.at(0), code);
    }
    const auto memory = rig.hub.Firmware("mouse")->Area(0x05);
    EXPECT_EQ(memory[0], 3);
    EXPECT_EQ(memory[3 * 128 + 12], 2);
    EXPECT_FALSE(rig.hub.Notify("mouse-receiver", 0x0401));  // not plugged
}

TEST_F(VirtualMouse, CollectionsArriveSeparately) {
    rig.hub.Plug("mouse:notify");
    auto paths = rig.hub.Backend()->EnumerateInterfaces();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(MatchPath(paths[0], kKnownInterfaces), 5u);
    rig.hub.Plug("mouse:command");
    EXPECT_EQ(rig.hub.Backend()->EnumerateInterfaces().size(), 4u);
    rig.hub.Unplug("mouse:notify");
    paths = rig.hub.Backend()->EnumerateInterfaces();
    EXPECT_EQ(paths.size(), 3u);
    for (const auto& path : paths) EXPECT_EQ(path.find("&col03"), std::string::npos);
}

TEST(VirtualKeyboard, ScrambledSlotsHoldTheWrittenLogicalKeys) {
    test::VirtualRig rig;
    rig.hub.Plug("keyboard-receiver");
    CHidTransport transport(rig.hub.Backend());
    rig.Open(transport, "keyboard", LinkReceiver);
    DeviceInfo info;
    std::vector<uint8_t> keyTable, ledPositions;
    ASSERT_EQ(ReadDeviceImage(transport, info, keyTable, &ledPositions), kResultSuccess);
    ASSERT_EQ(keyTable.size(), 378u);
    ASSERT_EQ(ledPositions.size(), 126u);
    size_t found = 0;
    for (size_t j = 0; j < kWrittenLogicalKeys; ++j) {
        const KeyAssignment key = LogicalKeyFunction(j);
        for (size_t k = 0; k < 126; ++k) {
            if (keyTable[3 * k] == key.type && keyTable[3 * k + 1] == key.param1 && keyTable[3 * k + 2] == key.param2) {
                ++found;
                break;
            }
        }
    }
    EXPECT_EQ(found, kWrittenLogicalKeys);
    const size_t escSlot = keyboard_memory::SlotOfKey(0);
    EXPECT_EQ(keyTable[3 * escSlot + 2], 0x29);  // Esc usage
    const size_t gmSlot = keyboard_memory::SlotOfKey(16);
    EXPECT_EQ(keyTable[3 * gmSlot], 0xA0);
    EXPECT_EQ(ledPositions[gmSlot], keyboard_memory::LedPositionOfKey(16));

    // Colour pages are live: written without a frame, read back by page.
    std::vector<uint8_t> page(126 * 3, 0x33);
    ASSERT_EQ(transport.WritePagedBlock(page.data(), page.size(), 2, 512), kResultSuccess);
    std::vector<uint8_t> back(page.size());
    ASSERT_EQ(transport.ReadPagedBlock(back.data(), back.size(), 2, 512), kResultSuccess);
    EXPECT_EQ(back, page);
}

TEST(VirtualLightProducts, PadRecordsAndHeadsetLedReports) {
    test::VirtualRig rig;
    rig.hub.PlugAll({"mousepad", "headset"});
    CHidTransport pad(rig.hub.Backend()), headset(rig.hub.Backend());
    rig.Open(pad, "mousepad", LinkWired);
    rig.Open(headset, "headset", LinkWired);
    uint8_t record[34];
    ASSERT_EQ(pad.ReadSettings(record, sizeof record, 0), kResultSuccess);
    EXPECT_EQ(record[2], 3);
    std::vector<uint8_t> written(record, record + 21);
    written[3] = 4 - 1;
    ASSERT_EQ(ConfigSequence(pad).Framed({[&] { return pad.WriteSettings(written.data(), 21, 0); }}), kResultSuccess);
    EXPECT_EQ(rig.hub.Firmware("mousepad")->Area(0x05)[3], 3);

    EXPECT_EQ(headset.Primary().Caps().usagePage, 0x0C);
    EXPECT_EQ(headset.Primary().CollectionNumber(), 0);
    uint8_t status[6];
    rig.hub.SetBattery("headset", 57, 1);
    ASSERT_EQ(headset.ReadShort(status, 6, 0), kResultSuccess);
    EXPECT_EQ(status[0], 57);
    EXPECT_EQ(status[1], 1);
    std::vector<uint8_t> led(17, 0);
    led[0] = 0xFF;
    led[1] = 0x44;
    led[2] = 0xAD;
    led[4] = 200;
    ASSERT_TRUE(headset.Primary().SetOutputReport(led.data(), led.size()));
    auto* firmware = dynamic_cast<LightRecordFirmware*>(rig.hub.Firmware("headset"));
    ASSERT_NE(firmware, nullptr);
    EXPECT_EQ((firmware->Planes().at({0x44, 0xAD})[0]), 200);
}

// The log keeps the newest exchanges in a fixed ring: it must hand them out
// oldest first however often it wrapped, each with its own name (short and
// long names share slots), and start afresh after a clear.
TEST(VirtualTraffic, TheLogKeepsTheNewestExchangesOldestFirstAcrossWrapsAndClears) {
    constexpr uint32_t kMax = TrafficLog::kMaxEntries;
    TrafficLog log;
    const auto nameOf = [](uint32_t n) { return n % 3 == 0 ? std::string("keyboard-receiver") : std::string("pad"); };
    const auto add = [&](uint32_t from, uint32_t to) {
        for (uint32_t n = from; n < to; ++n) {
            TrafficEntry entry;
            entry.interfaceName = nameOf(n);
            for (size_t i = 0; i < 4; ++i) entry.request[4 + i] = static_cast<uint8_t>(n >> (8 * i));
            entry.reply[0] = static_cast<uint8_t>(n);
            log.Add(entry);
        }
    };
    // The numbers of the entries kept, in the order given; a wrong name or reply is a wrong number.
    const auto kept = [&] {
        std::vector<uint32_t> numbers;
        for (const TrafficEntry& entry : log.Entries()) {
            uint32_t n = 0;
            for (size_t i = 0; i < 4; ++i) n |= static_cast<uint32_t>(entry.request[4 + i]) << (8 * i);
            const bool intact = entry.interfaceName == nameOf(n) && entry.reply[0] == static_cast<uint8_t>(n);
            numbers.push_back(intact ? n : ~0u);
        }
        return numbers;
    };
    const auto range = [](uint32_t from, uint32_t to) {
        std::vector<uint32_t> numbers(to - from);
        std::iota(numbers.begin(), numbers.end(), from);
        return numbers;
    };

    add(0, 3);
    EXPECT_EQ(kept(), range(0, 3));
    add(3, kMax);
    EXPECT_EQ(kept(), range(0, kMax));  // full, not yet wrapped
    add(kMax, kMax + 1);
    EXPECT_EQ(kept(), range(1, kMax + 1));
    add(kMax + 1, 3 * kMax + 7);  // wrapped twice and a little
    EXPECT_EQ(kept(), range(2 * kMax + 7, 3 * kMax + 7));

    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
    add(10, 12);
    EXPECT_EQ(kept(), range(10, 12));
    add(12, kMax + 20);
    EXPECT_EQ(kept(), range(20, kMax + 20));
}

TEST(VirtualSelection, NamesAreCheckedAndControlLinesParsed) {
    std::string error;
    auto names = ParseVirtualSelection("mouse, keyboard-receiver,mouse", error);
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, (std::vector<std::string>{"mouse", "keyboard-receiver"}));
    EXPECT_FALSE(ParseVirtualSelection("mouse,trackball", error).has_value());
    EXPECT_NE(error.find("trackball"), std::string::npos);
    EXPECT_NE(error.find("mousepad"), std::string::npos);
    EXPECT_FALSE(ParseVirtualSelection(" , ", error).has_value());

    VirtualDeviceHub hub;
    EXPECT_EQ(hub.RunCommand("plug mouse:command"), "");
    EXPECT_EQ(hub.RunCommand("battery mouse 57 1"), "");
    EXPECT_EQ(hub.Firmware("mouse")->StatusBlock()[0], 57);
    EXPECT_EQ(hub.RunCommand("power mouse off"), "");
    EXPECT_FALSE(hub.Product("mouse")->Powered());
    EXPECT_NE(hub.RunCommand("power mousepad off"), "");
    EXPECT_NE(hub.RunCommand("notify mouse 0x1123"), "");  // notification collection not plugged
    EXPECT_NE(hub.RunCommand("plug trackball"), "");
    EXPECT_NE(hub.RunCommand("notify mouse zz"), "");
    EXPECT_NE(hub.RunCommand("battery mouse 101 0"), "");
    EXPECT_NE(hub.RunCommand("dance mouse"), "");

    EXPECT_EQ(hub.RunCommand("fail mouse 0x07"), "");
    EXPECT_EQ(hub.RunCommand("fail mouse 7 3"), "");
    EXPECT_EQ(hub.RunCommand("fail keyboard-receiver 0x09 2 drop"), "");
    EXPECT_EQ(hub.RunCommand("fail mousepad 0x05 status"), "");
    EXPECT_EQ(hub.Product("mouse")->PendingFaults(), 4u);
    EXPECT_EQ(hub.Product("keyboard")->PendingFaults(), 2u);
    EXPECT_EQ(hub.Product("mousepad")->PendingFaults(), 1u);
    for (const char* bad : {"fail mouse", "fail mouse 0x100", "fail mouse 7 0", "fail mouse 7 2 lose",
                            "fail mouse 7 2 drop extra", "fail trackball 7", "fail mouse 7 drop 2"})
        EXPECT_NE(hub.RunCommand(bad), "") << bad;
    EXPECT_EQ(hub.Product("mouse")->PendingFaults(), 4u);
}

}  // namespace
}  // namespace m470
