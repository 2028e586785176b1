// The products as the kernel presents them (umockdev testbed: sysfs, udev
// records and uevents, hidraw nodes and their ioctls), the emulators behind
// the nodes, and the program on top: the hidraw backend in this process,
// m470ctl and the window as their own processes.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <json/json.h>
#include <sys/stat.h>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ctl/CtlRun.h"
#include "device_link/HidrawBackend.h"
#include "devices/AccessRefusal.h"
#include "platform/Folders.h"
#include "realstack/ChildRun.h"
#include "realstack/HidrawTestbed.h"
#include "sim/ProductDescriptors.h"
#include "sim/ProductFirmware.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::test {
namespace {

Json::Value ParseJson(const std::string& text) {
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

// "product link firmware" of each product `m470ctl --json list` shows.
std::vector<std::string> Listed(const ChildOutcome& run) {
    std::vector<std::string> rows;
    for (const Json::Value& entry : ParseJson(run.out))
        rows.push_back(entry["product"].asString() + " " + entry["link"].asString() + " " + entry["firmware"].asString());
    return rows;
}

std::vector<std::vector<uint8_t>> Requests(const std::vector<TrafficEntry>& traffic, const std::string& interface) {
    std::vector<std::vector<uint8_t>> requests;
    for (const TrafficEntry& entry : traffic)
        if (entry.interfaceName == interface && !entry.viaControlPipe)
            requests.emplace_back(entry.request.begin(), entry.request.end());
    return requests;
}

// A node that refused to open is told on the error stream with the node
// and the rule that would let the user open it.
void ExpectRefusalNamesTheNode(const ChildOutcome& run, const std::string& node) {
    EXPECT_NE(run.err.find("found at " + node + ", but permission to open it was refused."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(kInstalledUdevRule), std::string::npos) << run.err;
}

class RealStack : public testing::Test {
protected:
    ChildOutcome Ctl(const std::vector<std::string>& words, const ChildOptions& options = {}) {
        return RunChild(GetInstallFolder() + "m470ctl", words, folder_.Path(), options);
    }

    TempFolder folder_;
    VirtualDeviceHub hub_;
    HidrawTestbed testbed_{hub_};
};

TEST_F(RealStack, TheBackendListsEveryTopLevelCollectionOfEveryNodeWithItsInterfaceAndFirmware) {
    const std::string mouse = testbed_.Plug("mouse");
    const std::string bootNode = testbed_.BootNode("mouse");
    const std::string headset = testbed_.Plug("headset");
    const std::string other = testbed_.Plug("other-vendor");
    const std::string otherBoot = testbed_.BootNode("other-vendor");

    HidrawBackend backend;
    std::vector<std::string> paths = backend.EnumerateInterfaces();
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> expected{
        bootNode + "&vid_320f&pid_222e&mi_00",          mouse + "&vid_320f&pid_222e&mi_01&col01",
        mouse + "&vid_320f&pid_222e&mi_01&col02",       mouse + "&vid_320f&pid_222e&mi_01&col03",
        mouse + "&vid_320f&pid_222e&mi_01&col04",       headset + "&vid_0c76&pid_1630&mi_03",
        otherBoot + "&vid_1d57&pid_222e&mi_00",         other + "&vid_1d57&pid_222e&mi_01&col01",
        other + "&vid_1d57&pid_222e&mi_01&col02",       other + "&vid_1d57&pid_222e&mi_01&col03",
        other + "&vid_1d57&pid_222e&mi_01&col04",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected);

    // Opened through the node: ids and descriptor from the hidraw ioctls,
    // the firmware version from the USB device's bcdDevice.
    const auto node = backend.Open(mouse + "&vid_320f&pid_222e&mi_01&col04", true, true);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Info().vendorId, 0x320F);
    EXPECT_EQ(node->Info().productId, 0x222E);
    EXPECT_EQ(node->Info().versionNumber, 0x0112);
    EXPECT_EQ(node->Info().reportDescriptor, InterfaceOneDescriptor());
    EXPECT_TRUE(backend.Present(mouse + "&vid_320f&pid_222e&mi_01&col04"));
    EXPECT_FALSE(backend.Present(mouse + "&vid_1d57&pid_222e&mi_01&col04")) << "another product's ids on that node";
}

// The headset's LEDs take output reports through the node's control-pipe
// ioctl, which gets a copy of the caller's bytes: the copy must be exact for
// a LED report and at the longest report length, and a refused report must
// still fail.
TEST_F(RealStack, OutputReportsCrossTheNodeByteForByte) {
    const std::string headset = testbed_.Plug("headset");
    HidrawBackend backend;
    const auto node = backend.Open(headset + "&vid_0c76&pid_1630&mi_03", true, true);
    ASSERT_NE(node, nullptr);
    const auto lastOutputReport = [&] {
        const auto traffic = hub_.Traffic().Entries();
        const auto found = std::find_if(traffic.rbegin(), traffic.rend(), [](const auto& e) { return e.viaControlPipe; });
        return found == traffic.rend() ? Report{} : found->request;
    };
    const std::vector<uint8_t> led{0xFF, 0x44, 0xAD, 0, 200, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0xEE, 0xDD, 0xCC};
    ASSERT_TRUE(node->SetOutputReport(led.data(), led.size()));
    Report expected{};
    std::copy(led.begin(), led.end(), expected.begin());
    EXPECT_EQ(lastOutputReport(), expected);
    auto* firmware = dynamic_cast<LightRecordFirmware*>(hub_.Firmware("headset"));
    ASSERT_NE(firmware, nullptr);
    EXPECT_EQ((firmware->Planes().at({0x44, 0xAD})), (std::array<uint8_t, 7>{200, 9, 8, 7, 6, 5, 4}));

    std::vector<uint8_t> longest(kReportLength);
    for (size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<uint8_t>(0xFF - i);
    hub_.Traffic().Clear();
    EXPECT_FALSE(node->SetOutputReport(longest.data(), longest.size()));  // no LED report: refused
    const auto traffic = hub_.Traffic().Entries();
    ASSERT_FALSE(traffic.empty());
    EXPECT_TRUE(std::equal(longest.begin(), longest.end(), traffic.front().request.begin()));
}

TEST_F(RealStack, TheProgramFindsEachProductOnceWithItsLinkAndFirmwareAndSkipsAnotherVendors) {
    for (const char* name : {"mouse", "mouse-receiver", "keyboard-receiver", "mousepad", "headset", "other-vendor"})
        testbed_.Plug(name);
    const ChildOutcome run = Ctl({"--json", "list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> listed = Listed(run);
    std::sort(listed.begin(), listed.end());
    // The mouse is on its cable and its receiver at once: one mouse, by
    // cable. The keyboard only through its receiver. The other vendor's
    // mouse, alike in all but its vendor id, is no mouse of ours.
    EXPECT_EQ(listed, (std::vector<std::string>{"headset cable 1.00", "keyboard receiver 2.04", "mouse cable 1.12",
                                                "mousepad cable 1.01"}))
        << run.out;
}

// A command of m470ctl in this process, on the in-process virtual mouse:
// the traffic and memory the same command leaves without hidraw between.
struct ReferenceRun {
    explicit ReferenceRun(const std::vector<std::string>& command) {
        hub.Plug("mouse");
        ::mkdir(folder.File("runtime").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", folder.File("runtime").c_str(), 1);
        ctl::RunSettings settings;
        settings.backend = hub.Backend();
        settings.workingFolder = folder.Path();
        reply = ctl::RunCommandLine(command, settings);
    }
    VirtualDeviceHub hub;
    TempFolder folder;
    ctl::Reply reply;
};

bool IsSettingsWrite(const std::vector<uint8_t>& request) { return request[3] == 0x06; }

TEST_F(RealStack, TheFirstReadAndASettingsWriteCrossTheNodeByteForByte) {
    testbed_.Plug("mouse");
    const std::vector<std::string> command{"mouse", "set", "dpi", "2", "1600"};
    const ChildOutcome run = Ctl(command);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ReferenceRun reference(command);
    ASSERT_EQ(reference.reply.exitCode, 0) << reference.reply.err;
    EXPECT_EQ(run.out, reference.reply.out);

    const auto sent = Requests(hub_.Traffic().Entries(), "mouse");
    EXPECT_EQ(sent, Requests(reference.hub.Traffic().Entries(), "mouse"));
    // The settings write among them, and the firmware's settings memory
    // (read with command 0x05) left as the virtual run leaves it, changed
    // by the write.
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), IsSettingsWrite));
    const std::vector<uint8_t> settingsMemory = hub_.Firmware("mouse")->Area(0x05);
    EXPECT_EQ(settingsMemory, reference.hub.Firmware("mouse")->Area(0x05));
    EXPECT_NE(settingsMemory, VirtualDeviceHub().Firmware("mouse")->Area(0x05));
}

TEST_F(RealStack, ANodeThatRefusesToOpenLeavesItsProductOutAndTheOthersWork) {
    if (!CanMakePrivateRun()) GTEST_SKIP() << "needs root: the run gets a /run of its own with the udev daemon's socket";
    const std::string mouse = testbed_.Plug("mouse");
    testbed_.Plug("mousepad");
    testbed_.RefuseOpen("mouse");
    // The udev daemon's way: a refused node is tried again every 2 s, not
    // at every 100 ms scan (each refused open costs umockdev 0.17 a slot
    // of its own table, and 50 of them end the program).
    ChildOptions options;
    options.daemon = UdevDaemon::Running;
    options.withoutFileOverride = true;

    const ChildOutcome list = Ctl({"--json", "list"}, options);
    EXPECT_EQ(list.exitCode, 1) << "a product that is there but cannot be used fails the listing";
    EXPECT_EQ(Listed(list), std::vector<std::string>{"mousepad cable 1.01"}) << list.out;
    ExpectRefusalNamesTheNode(list, mouse);

    const ChildOutcome get = Ctl({"mouse", "get"}, options);
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_EQ(get.out, "");
    ExpectRefusalNamesTheNode(get, mouse);
    EXPECT_TRUE(Requests(hub_.Traffic().Entries(), "mouse").empty());
}

TEST_F(RealStack, ANodeThatVanishesInTheMiddleOfAnExchangeFailsTheWriteWithoutHanging) {
    testbed_.Plug("mouse");
    const std::vector<std::string> command{"mouse", "set", "dpi", "2", "1600"};
    // The command's own settings write is its last one: it goes out, the
    // mouse is pulled before it answers.
    ReferenceRun reference(command);
    const auto writes = Requests(reference.hub.Traffic().Entries(), "mouse");
    const auto count = std::count_if(writes.begin(), writes.end(), IsSettingsWrite);
    ASSERT_GT(count, 0);
    testbed_.VanishOnCommand("mouse", 0x06, static_cast<unsigned>(count - 1));
    const ChildOutcome run = Ctl(command);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Writing to the device failed."), std::string::npos) << run.err;
    EXPECT_EQ(testbed_.VendorNode("mouse"), "") << "the mouse was pulled";
}

// Looks every 20 ms until the condition holds; false after a minute.
template <class Condition>
bool WaitFor(Condition condition) {
    for (int look = 0; look < 3000; ++look) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class RealStackHotPlug : public RealStack, public testing::WithParamInterface<UdevDaemon> {};

TEST_P(RealStackHotPlug, AMouseThatComesWhileTheWindowRunsIsReadAndItsLossIsSeen) {
    if (!CanMakePrivateRun()) GTEST_SKIP() << "needs root: the window gets a /run of its own";
    testbed_.Plug("mousepad");
    const std::string arrived = folder_.File("arrived.png");
    folder_.Write("run.script", "until device_option[0] visible 1\n"
                                "until DPI_edit_5 text 13100\n"
                                "screenshot " + arrived + "\n"
                                "until device_option[0] visible 0\n"
                                "quit\n");
    ChildOptions options;
    options.daemon = GetParam();
    ChildOutcome run;
    std::atomic<bool> ended{false};
    std::thread window([&] {
        run = RunChild(GetInstallFolder() + "m470", {"--script", folder_.File("run.script")}, folder_.Path(), options);
        ended = true;
    });
    // The mouse comes after the window's first look found and opened the pad.
    const bool padOpened = WaitFor([&] { return ended || !Requests(hub_.Traffic().Entries(), "mousepad").empty(); });
    testbed_.Plug("mouse");
    const bool mouseShown = WaitFor([&] { return ended || ::access(arrived.c_str(), F_OK) == 0; });
    // The daemon's "remove" alone tells the loss: the files stay, as they
    // may for a moment after the event (a program that went by the files
    // would keep the mouse for good). Without the daemon the scan finds the
    // files gone.
    testbed_.Unplug("mouse", GetParam() == UdevDaemon::Running ? HidrawTestbed::Files::Kept : HidrawTestbed::Files::Deleted);
    window.join();
    EXPECT_TRUE(padOpened && mouseShown);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Requests(hub_.Traffic().Entries(), "mouse").empty());
}

INSTANTIATE_TEST_SUITE_P(Udev, RealStackHotPlug, testing::Values(UdevDaemon::Running, UdevDaemon::Absent),
                         [](const testing::TestParamInfo<UdevDaemon>& info) {
                             return std::string(info.param == UdevDaemon::Running ? "MonitorOfTheDaemon" : "ScanWithoutDaemon");
                         });

}  // namespace
}  // namespace m470::test
