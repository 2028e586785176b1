#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "device_link/HidDevice.h"
#include "device_link/HidrawBackend.h"
#include "device_link/VirtualHidBackend.h"
#include "platform/DebugTrace.h"
#include "sim/ProductDescriptors.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands a socket pair in for a hidraw node: the test writes reports into
// the far end, CHidDevice reads them through the hidraw node code.
class SocketBackend : public HidBackend {
public:
    SocketBackend() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
        nodeFd_ = fds[0];
        farFd_ = fds[1];
    }
    ~SocketBackend() override {
        ::close(nodeFd_);
        ::close(farFd_);
    }
    std::vector<std::string> EnumerateInterfaces() override {
        return MakeInterfacePaths({"/dev/hidraw0", 0x320F, 0x222E, 1, 4});
    }
    std::unique_ptr<HidNode> Open(const std::string&, bool, bool) override {
        return HidrawBackend::WrapFd(::dup(nodeFd_), HidNodeInfo{0x320F, 0x222E, 0x0107, InterfaceOneDescriptor()});
    }
    void Send(std::vector<uint8_t> report) { ASSERT_EQ(::write(farFd_, report.data(), report.size()), static_cast<ssize_t>(report.size())); }
    std::vector<uint8_t> Receive() {
        std::vector<uint8_t> buffer(256);
        const ssize_t got = ::read(farFd_, buffer.data(), buffer.size());
        buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return buffer;
    }

private:
    int nodeFd_ = -1, farFd_ = -1;
};

class HidrawNodeIo : public ::testing::Test {
protected:
    void SetUp() override {
        backend = std::make_shared<SocketBackend>();
        device = std::make_unique<CHidDevice>(backend);
        ASSERT_TRUE(device->EnumeratePaths());
        std::string command;
        while (const char* path = device->NextPath()) command = path;  // the last one is collection 4
        ASSERT_TRUE(device->Open(command, true, true, true, false));
    }
    std::shared_ptr<SocketBackend> backend;
    std::unique_ptr<CHidDevice> device;
};

TEST_F(HidrawNodeIo, OpenFillsCapabilitiesFromTheCollection) {
    EXPECT_EQ(device->Caps().usagePage, 0xFF1C);
    EXPECT_EQ(device->Caps().usage, 0x92);
    EXPECT_EQ(device->Caps().inputReportByteLength, 64);
    EXPECT_EQ(device->Attributes().vendorId, 0x320F);
    EXPECT_EQ(device->Attributes().versionNumber, 0x0107);
    EXPECT_EQ(device->InterfaceNumber(), 1);
    EXPECT_EQ(device->CollectionNumber(), 4);
    EXPECT_EQ(device->InputReport().size(), 64u);
}

TEST_F(HidrawNodeIo, ReadTimesOutWithNothingTransferred) {
    uint8_t buffer[64];
    size_t transferred = 99;
    const auto start = Clock::now();
    EXPECT_EQ(device->Read(buffer, sizeof buffer, &transferred, 150), 0);
    EXPECT_GE(Clock::now() - start, 140ms);
    EXPECT_EQ(transferred, 0u);
    EXPECT_FALSE(device->ReadPending());
}

TEST_F(HidrawNodeIo, ReadSkipsReportsOfOtherCollections) {
    backend->Send({0x03, 0x01, 0x04});  // consumer control: not ours
    std::vector<uint8_t> command(64, 0);
    command[0] = 0x04;
    command[3] = 0x05;
    backend->Send(command);
    uint8_t buffer[64] = {};
    size_t transferred = 0;
    ASSERT_EQ(device->Read(buffer, sizeof buffer, &transferred, 1000), 1);
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(buffer[0], 0x04);
    EXPECT_EQ(buffer[3], 0x05);
}

TEST_F(HidrawNodeIo, WriteReachesTheNode) {
    std::vector<uint8_t> report(64, 0x11);
    report[0] = 0x04;
    size_t transferred = 0;
    ASSERT_EQ(device->Write(report.data(), report.size(), &transferred, 1000), 1);
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(backend->Receive(), report);
}

TEST_F(HidrawNodeIo, CloseFromAnotherThreadEndsAnUnlimitedRead) {
    std::atomic<int> result{-1};
    std::thread reader([&] {
        uint8_t buffer[64];
        result = device->Read(buffer, sizeof buffer, nullptr, kInfinite);
    });
    while (!device->ReadPending()) std::this_thread::sleep_for(1ms);
    device->Close();
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(device->IsOpen());
    uint8_t buffer[64];
    EXPECT_EQ(device->Read(buffer, sizeof buffer, nullptr, 10), 0);  // closed: fails at once
    device->Close();                                                  // twice is fine
}

TEST_F(HidrawNodeIo, CloseForgetsTheDeviceThatWasOpen) {
    ASSERT_EQ(device->Caps().usagePage, 0xFF1C);
    device->Close();
    EXPECT_EQ(device->Caps().usagePage, 0);
    EXPECT_EQ(device->Caps().usage, 0);
    EXPECT_EQ(device->InputReportByteLength(), 0);
    EXPECT_EQ(device->Caps().outputReportByteLength, 0);
    EXPECT_EQ(device->Attributes().vendorId, 0);
    EXPECT_EQ(device->Attributes().productId, 0);
    EXPECT_EQ(device->Attributes().versionNumber, 0);
    EXPECT_EQ(device->InterfaceNumber(), 0);
    EXPECT_EQ(device->CollectionNumber(), 0);
    EXPECT_TRUE(device->InputReport().empty());
    EXPECT_TRUE(device->InputItems().empty());
    EXPECT_TRUE(device->Collection().inputReportIds.empty());
}

TEST(HidDevicePaths, EnumerationListsEveryPathInOrderThenNull) {
    auto backend = std::make_shared<VirtualHidBackend>();
    for (uint16_t product = 1; product <= 5; ++product) backend->Plug({0x320F, product, 1, 1, InterfaceOneDescriptor()});
    CHidDevice device(backend);
    ASSERT_TRUE(device.EnumeratePaths());
    EXPECT_EQ(device.PathCount(), 20u);
    std::vector<std::string> seen;
    while (const char* path = device.NextPath()) seen.push_back(path);
    EXPECT_EQ(seen.size(), 20u);
    EXPECT_EQ(seen.front(), "/virtual/hidraw0&vid_320f&pid_0001&mi_01&col01");
    EXPECT_EQ(seen.back(), "/virtual/hidraw4&vid_320f&pid_0005&mi_01&col04");
    EXPECT_EQ(device.NextPath(), nullptr);
    device.FreePaths();
    EXPECT_EQ(device.NextPath(), nullptr);
}

TEST(HidDevicePaths, LongPathsAndMissingCollectionsAreRefused) {
    auto backend = std::make_shared<VirtualHidBackend>();
    backend->Plug({0x320F, 0x222E, 1, 1, InterfaceOneDescriptor()});
    CHidDevice device(backend);
    std::string path = "/virtual/hidraw0&vid_320f&pid_222e&mi_01&col04";
    EXPECT_TRUE(device.Open(path, true, true, true, false));
    EXPECT_FALSE(device.Open(path + std::string(260 - path.size(), 'x'), true, true, true, false));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(device.Open(path + std::string(259 - path.size(), 'x'), true, true, true, false));
    EXPECT_FALSE(device.Open("/virtual/hidraw0&vid_320f&pid_222e&mi_01&col05", true, false, true, false));
    EXPECT_FALSE(device.Open("/virtual/hidraw9&vid_320f&pid_222e&mi_01&col04", true, false, true, false));
}

TEST(HidDevicePaths, HostileDescriptorIsSkippedWithATraceLineAndOthersStillOpen) {
    auto backend = std::make_shared<VirtualHidBackend>();
    // Two report IDs of 32,768 one-bit elements each: once std::bad_alloc.
    std::vector<uint8_t> hostile{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01};
    for (uint8_t id : {1, 2}) hostile.insert(hostile.end(), {0x85, id, 0x75, 0x01, 0x96, 0x00, 0x80, 0x09, 0x01, 0x81, 0x02});
    hostile.push_back(0xC0);
    backend->Plug({0x320F, 0x222E, 1, 1, hostile});
    backend->Plug({0x320F, 0x1004, 1, 1, InterfaceOneDescriptor()});
    DebugTrace::Clear();
    CHidDevice device(backend);
    ASSERT_TRUE(device.EnumeratePaths());
    size_t opened = 0, refused = 0;
    while (const char* path = device.NextPath()) {
        CHidDevice one(backend);
        (one.Open(path, true, true, true, false) ? opened : refused) += 1;
        if (std::string(path).find("pid_222e") != std::string::npos) EXPECT_FALSE(one.IsOpen()) << path;
    }
    EXPECT_EQ(opened, 4u);  // every collection of the good node
    EXPECT_EQ(refused, 1u);
    EXPECT_TRUE(DebugTrace::Contains("/virtual/hidraw0&vid_320f&pid_222e&mi_01 skipped: its report descriptor (29 bytes) is refused"));
}

TEST(VirtualNodes, EveryOpenerGetsItsOwnCopyAndUnplugFailsPendingReads) {
    auto backend = std::make_shared<VirtualHidBackend>();
    auto interface = backend->Plug({0x320F, 0x222E, 1, 1, InterfaceOneDescriptor()});
    CHidDevice consumer(backend), command(backend);
    ASSERT_TRUE(consumer.Open("/virtual/hidraw0&vid_320f&pid_222e&mi_01&col03", true, true, true, false));
    ASSERT_TRUE(command.Open("/virtual/hidraw0&vid_320f&pid_222e&mi_01&col04", true, true, true, false));
    interface->PushInput({0x03, 0x01, 0x04});
    uint8_t buffer[64] = {};
    ASSERT_EQ(consumer.Read(buffer, sizeof buffer, nullptr, 100), 1);
    EXPECT_EQ(buffer[1], 0x01);
    EXPECT_EQ(command.Read(buffer, sizeof buffer, nullptr, 50), 0);  // not a command report

    interface->PushInput({0x03, 0x02, 0x04}, std::chrono::milliseconds(40));
    const auto start = Clock::now();
    ASSERT_EQ(consumer.Read(buffer, sizeof buffer, nullptr, 1000), 1);  // held back by the latency
    EXPECT_GE(Clock::now() - start, 35ms);

    std::atomic<int> result{-1};
    std::thread reader([&] { result = consumer.Read(buffer, sizeof buffer, nullptr, kInfinite); });
    while (!consumer.ReadPending()) std::this_thread::sleep_for(1ms);
    backend->Unplug(interface);
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(backend->EnumerateInterfaces().empty());
    EXPECT_EQ(command.Write(buffer, sizeof buffer, nullptr, 100), 0);
}

// hidraw keeps each opener's reports in a ring of 64 slots, one always free,
// and drops the newest report when the ring is full.
TEST(VirtualNodes, AFullQueueDropsTheNewestReport) {
    auto backend = std::make_shared<VirtualHidBackend>();
    auto interface = backend->Plug({0x320F, 0x222E, 1, 1, InterfaceOneDescriptor()});
    CHidDevice consumer(backend);
    ASSERT_TRUE(consumer.Open("/virtual/hidraw0&vid_320f&pid_222e&mi_01&col03", true, true, true, false));
    for (int i = 0; i < 70; ++i) interface->PushInput({0x03, static_cast<uint8_t>(i), 0x00});
    uint8_t buffer[64] = {};
    for (int i = 0; i < 63; ++i) {
        ASSERT_EQ(consumer.Read(buffer, sizeof buffer, nullptr, 100), 1) << i;
        EXPECT_EQ(buffer[1], i);  // the oldest stay, in order
    }
    EXPECT_EQ(consumer.Read(buffer, sizeof buffer, nullptr, 30), 0);
    interface->PushInput({0x03, 0x77, 0x00});  // room again
    ASSERT_EQ(consumer.Read(buffer, sizeof buffer, nullptr, 100), 1);
    EXPECT_EQ(buffer[1], 0x77);
}

TEST(VirtualNodes, DiscardingEmptiesTheQueueOfEveryCollectionWithoutWaiting) {
    auto backend = std::make_shared<VirtualHidBackend>();
    auto interface = backend->Plug({0x320F, 0x222E, 1, 1, InterfaceOneDescriptor()});
    CHidDevice command(backend);
    ASSERT_TRUE(command.Open("/virtual/hidraw0&vid_320f&pid_222e&mi_01&col04", true, true, true, false));
    for (int i = 0; i < 5; ++i) interface->PushInput({0x03, static_cast<uint8_t>(i), 0x00});
    std::vector<uint8_t> late(64, 0);
    late[0] = 0x04;
    interface->PushInput(late);
    interface->PushInput(late, std::chrono::milliseconds(60));  // not arrived yet: stays
    EXPECT_EQ(command.DiscardQueuedInput(), 6u);
    EXPECT_EQ(command.DiscardQueuedInput(), 0u);
    uint8_t buffer[64] = {};
    EXPECT_EQ(command.Read(buffer, sizeof buffer, nullptr, 1000), 1);
    EXPECT_FALSE(command.ReadPending());
}

// The udev monitor's news about a node the program holds. A "remove" is a
// loss even while the node's file is still there; a "remove" then "add" of
// the same name (a quick replug: the kernel gives the lowest free number
// again) is a loss once, then the node counts as present again, and an
// enumeration in between takes the node as it is now.
TEST(HidrawNodes, ARemovedOrReplacedNodeIsALossOnce) {
    char folder[] = "/tmp/m470-hidraw-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string node = std::string(folder) + "/hidraw7";
    ::close(::open(node.c_str(), O_CREAT | O_WRONLY, 0600));
    const std::string path = node + "&vid_320f&pid_222e&mi_01&col04";
    HidrawBackend backend;
    EXPECT_TRUE(backend.Present(path));

    backend.NoteNodeEvent("remove", node);
    EXPECT_FALSE(backend.Present(path)) << "removed: gone while its file stays";
    EXPECT_FALSE(backend.Present(path));
    backend.NoteNodeEvent("add", node);
    EXPECT_FALSE(backend.Present(path)) << "another device under the old name";
    EXPECT_TRUE(backend.Present(path)) << "told once";

    backend.NoteNodeEvent("remove", node);
    backend.NoteNodeEvent("add", node);
    backend.EnumerateInterfaces();  // whoever opens the node after this has the new device
    EXPECT_TRUE(backend.Present(path));
    backend.NoteNodeEvent("remove", "/dev/hidraw99");  // another node's news
    EXPECT_TRUE(backend.Present(path));

    ::unlink(node.c_str());
    EXPECT_FALSE(backend.Present(path));
    ::rmdir(folder);
}

}  // namespace
}  // namespace m470
