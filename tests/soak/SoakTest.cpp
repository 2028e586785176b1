// The whole program in one process against the virtual products, for a long
// time: products plugged and unplugged, a receiver mouse switched off and on,
// a stream of notifications and of socket clients. Nothing may crash, every
// profile file stays valid, the last edit is in its file, and the resident
// memory does not keep growing once every path has run once. A second run
// keeps four products animating while their pages are shown in turn.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <malloc.h>
#include <unistd.h>

#include "devices/DeviceManager.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "qt/InstanceChannel.h"
#include "qt/MainWnd.h"
#include "qt/ScriptRunner.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

using Clock = std::chrono::steady_clock;

// Counts of each run; M470_SOAK_SCALE=N divides them (at least one run each
// past the first), for a quicker look while working on it.
struct SoakCounts {
    int plugCycles = 100;
    int powerFlaps = 200;
    int notifications = 1000;
    int socketClients = 200;
};

SoakCounts Counts() {
    SoakCounts counts;
    const char* scale = std::getenv("M470_SOAK_SCALE");
    const int divisor = scale != nullptr ? std::max(1, std::atoi(scale)) : 1;
    for (int* count : {&counts.plugCycles, &counts.powerFlaps, &counts.notifications, &counts.socketClients})
        *count = std::max(2, *count / divisor);
    return counts;
}

constexpr long kMaxGrowthBytes = 5L * 1024 * 1024;
// Heap the animation may gain from one five-minute report to the next, past
// the first: the trace keeps its newest megabyte of lines and adds some 60 KiB
// in five minutes until it is full; anything held for good shows above that.
constexpr long kMaxReportGrowthBytes = 256L * 1024;

// Seconds the four products animate; M470_SOAK_ANIMATION_SECONDS sets it
// (1800 for the half-hour look).
int AnimationSeconds() {
    const char* seconds = std::getenv("M470_SOAK_ANIMATION_SECONDS");
    return seconds != nullptr ? std::max(1, std::atoi(seconds)) : 60;
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Resident memory once the allocator has handed back what is free: the
// arenas of the many short-lived device threads keep freed pages otherwise,
// which is the allocator's cache, not memory the program holds. The heap in
// use goes to *allocated.
bool Memory(const char* label, long& bytes, long* allocated = nullptr) {
    ::malloc_trim(0);
    bytes = ResidentBytes();
    const struct mallinfo2 heap = ::mallinfo2();
    if (allocated != nullptr) *allocated = static_cast<long>(heap.uordblks + heap.hblkhd);
    std::printf("soak: %-38s resident %7.2f MiB, allocated %7.2f MiB, %lld widgets, %lld trace lines\n", label,
                bytes / 1048576.0, (heap.uordblks + heap.hblkhd) / 1048576.0,
                static_cast<long long>(QApplication::allWidgets().size()),
                static_cast<long long>(DebugTrace::Lines().size()));
    std::fflush(stdout);
    return bytes > 0;
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        const QString runtime = QString::fromStdString(folder.File("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ::setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->resize(1000, 640);
        window->show();
        window->OnWindowInit();
        ASSERT_EQ(instance.Listen(), ListenResult::Listening) << instance.LastError();
        QObject::connect(&instance, &InstanceServer::messageReceived, window.get(),
                         [this](const InstanceMessage& message, InstanceClient*) { window->HandleNamedMessage(message); });
        window->StartDeviceManager(hub.Backend());
    }
    void TearDown() override {
        instance.Close();
        window.reset();
    }

    // Runs the event loop until done() holds; false after timeoutMs.
    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (Clock::now() > end) return false;
            QTest::qWait(10);
        }
        return true;
    }
    // Plays script lines through the real widgets; their exit code.
    int Play(std::vector<std::string> lines) {
        ScriptRunner runner(*window, &hub);
        runner.SetLines(std::move(lines));
        int code = -1;
        QObject::connect(&runner, &ScriptRunner::finished, [&](int result) { code = result; });
        runner.Start();
        WaitUntil([&] { return code >= 0; });
        return code;
    }

    CDeviceOptionUI* EntryOf(CVantrelUSBDevice* device) const {
        for (const auto& entry : window->Selector()->Entries())
            if (entry->Device() == device) return entry.get();
        return nullptr;
    }
    CVantrelUSBDevice* Mouse() const { return window->Manager()->Mice().at(0); }
    CVantrelUSBDevice* Pad() const {
        const auto pads = window->Manager()->Pads();
        return pads.empty() ? nullptr : pads.at(0);
    }
    // The product's settings were read since the traffic was last cleared.
    bool SettingsRead(const std::string& interfaceName) {
        for (const TrafficEntry& entry : hub.Traffic().Entries())
            if (entry.interfaceName == interfaceName && entry.request[3] == 0x05) return true;
        return false;
    }

    // Both products plugged by cable, read, the mouse edited, both unplugged.
    void PlugCycle(int cycle) {
        hub.Traffic().Clear();
        ASSERT_TRUE(hub.Plug("mouse"));
        ASSERT_TRUE(hub.Plug("mousepad"));
        ASSERT_TRUE(WaitUntil([&] {
            return Pad() != nullptr && EntryOf(Mouse())->IsVisible() && EntryOf(Pad())->IsVisible() &&
                   SettingsRead("mouse") && SettingsRead("mousepad");
        })) << "cycle " << cycle;
        lastStage3 = 20 + cycle % 60;  // a new position each cycle, so each one is an edit
        ASSERT_EQ(Play({"click device_select[0]", "value DPI_slider_3 " + std::to_string(lastStage3)}), 0)
            << "cycle " << cycle;
        ASSERT_TRUE(hub.Unplug("mouse"));
        ASSERT_TRUE(hub.Unplug("mousepad"));
        ASSERT_TRUE(WaitUntil([&] {
            return !Mouse()->Transport().Opened() && !Pad()->Transport().Opened() && !EntryOf(Mouse())->IsVisible() &&
                   !EntryOf(Pad())->IsVisible();
        })) << "cycle " << cycle;
    }

    // The mouse behind its receiver switched off and on again; the link
    // watch runs at once instead of after its 3 s.
    void PowerFlap(int flap) {
        hub.Traffic().Clear();  // the witness's log is the test's, not the program's
        CDeviceOptionUI* entry = EntryOf(Mouse());
        ASSERT_TRUE(hub.SetPower("mouse", false));
        entry->OnTimer(kTimerLinkWatch);
        ASSERT_TRUE(WaitUntil([&] { return entry->IsOffline(); })) << "flap " << flap;
        ASSERT_TRUE(hub.SetPower("mouse", true));
        entry->OnTimer(kTimerLinkWatch);
        ASSERT_TRUE(WaitUntil([&] { return entry->IsVisible() && !entry->IsOffline(); })) << "flap " << flap;
    }

    // Profile and stage switches and a reload request from the mouse.
    void Notifications(int count) {
        static constexpr uint16_t kCodes[] = {0x1121, 0x1123, 0x1020, 0x0401};
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(hub.Notify("mouse-receiver", kCodes[i % 4])) << "notification " << i;
            if (i % 20 == 19) {
                QTest::qWait(20);
                hub.Traffic().Clear();
            }
        }
        QTest::qWait(200);
    }

    // A client connects, sends a tool query, and goes.
    void SocketClients(int count) {
        for (int i = 0; i < count; ++i) {
            QLocalSocket client;
            client.connectToServer(InstanceSocketPath());
            ASSERT_TRUE(client.waitForConnected(2000)) << "client " << i;
            client.write(QByteArray(kToolQuery) + " 0 0\n");
            ASSERT_TRUE(client.waitForBytesWritten(2000));
            QTest::qWait(2);
            client.disconnectFromServer();
        }
        ASSERT_TRUE(WaitUntil([&] { return instance.ConnectionCount() == 0; })) << instance.ConnectionCount();
    }

    void ReceiverRun(const SoakCounts& counts, int share) {
        ASSERT_TRUE(hub.Plug("mouse-receiver"));
        ASSERT_TRUE(WaitUntil([&] { return EntryOf(Mouse())->IsVisible() && !EntryOf(Mouse())->IsOffline(); }));
        for (int i = 0; i < counts.powerFlaps / share; ++i) ASSERT_NO_FATAL_FAILURE(PowerFlap(i));
        ASSERT_NO_FATAL_FAILURE(Notifications(counts.notifications / share));
        ASSERT_TRUE(hub.Unplug("mouse-receiver"));
        ASSERT_TRUE(WaitUntil([&] { return !Mouse()->Transport().Opened(); }));
    }

    // Every profile file and list under the data folder reads as JSON.
    void ExpectEveryProfileFileValid() {
        size_t files = 0;
        for (const auto& file : std::filesystem::recursive_directory_iterator(folder.File("data"))) {
            const std::string path = file.path().string();
            if (!file.is_regular_file()) continue;
            EXPECT_EQ(path.find(".tmp."), std::string::npos) << "left behind: " << path;
            if (path.ends_with(".Json") || path.ends_with(".ini")) {
                JsonLoadStatus status = JsonLoadStatus::Missing;
                LoadJson(path, &status);
                EXPECT_EQ(status, JsonLoadStatus::Ok) << path;
                ++files;
            }
        }
        EXPECT_GE(files, 4u);  // a list and a profile for the mouse and for the pad
    }

    test::TempFolder folder;
    VirtualDeviceHub hub;
    InstanceServer instance;
    std::unique_ptr<CMainWnd> window;
    int lastStage3 = 0;
};

TEST_F(Soak, ProductsComeAndGoWithoutCrashLossOrGrowth) {
    const SoakCounts counts = Counts();
    const auto start = Clock::now();
    // Every path once: what it allocates for good (pages, caches, fonts) is not growth.
    ASSERT_NO_FATAL_FAILURE(PlugCycle(0));
    ASSERT_NO_FATAL_FAILURE(ReceiverRun({2, 2, 2, 2}, 2));
    ASSERT_NO_FATAL_FAILURE(SocketClients(1));
    long first = 0, last = 0;
    ASSERT_TRUE(Memory("after the first cycle", first));

    for (int cycle = 1; cycle < counts.plugCycles; ++cycle) ASSERT_NO_FATAL_FAILURE(PlugCycle(cycle));
    long step = 0;
    Memory("after the plug cycles", step);
    ASSERT_NO_FATAL_FAILURE(ReceiverRun(counts, 1));
    Memory("after power flaps and notifications", step);
    ASSERT_NO_FATAL_FAILURE(SocketClients(counts.socketClients));
    ASSERT_TRUE(Memory("after the socket clients", last));
    std::printf("soak: %d plug cycles, %d power flaps, %d notifications, %d socket clients in %.1f s; growth %.2f MiB\n",
                counts.plugCycles, counts.powerFlaps, counts.notifications, counts.socketClients,
                std::chrono::duration<double>(Clock::now() - start).count(), (last - first) / 1048576.0);

#ifndef M470_UNDER_SANITIZER  // a sanitizer's quarantine and shadow memory are no growth of ours
    EXPECT_LT(last - first, kMaxGrowthBytes) << "resident memory grew by " << (last - first) << " bytes";
#endif
    ExpectEveryProfileFileValid();
    // The last edit of the last plug cycle is in the mouse's chosen profile.
    const Json::Value list = LoadJson(folder.File("data/M470/mouse/ProfileList.ini"));
    const std::string uuid = list["profilelist"][list["profileselect"].asInt()]["profileUUID"].asString();
    const Json::Value profile = LoadJson(folder.File("data/M470/mouse/" + uuid + ".Json"));
    EXPECT_EQ(profile["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt(), lastStage3);
}

// The pages of the four products, each shown for a while: the shown preview
// and the headset's stream animate, every lighting thread steps.
class AnimationSoak : public Soak {
protected:
    static constexpr int kPageMs = 1500;
    // The page of each product in the selector's order.
    const std::vector<std::vector<std::string>> kPages{
        {"click device_select[0]"},
        {"expect device_select_name[1] text Keyboard", "click device_select[1]"},
        {"expect device_select_name[2] text RGB Mousepad", "click device_select[2]"},
        {"expect device_select_name[3] text Headset", "click device_select[3]"}};

    // Every page once; each device whose frame moved meanwhile is counted.
    void ShowEachPage(std::map<CVantrelUSBDevice*, int>& moved) {
        for (const auto& page : kPages) {
            std::map<CVantrelUSBDevice*, LedFrame> before;
            for (CVantrelUSBDevice* device : window->Manager()->Devices())
                if (device->Transport().Opened()) before[device] = device->FrameCopy();
            ASSERT_EQ(Play(page), 0) << page.back();
            QTest::qWait(kPageMs);
            for (auto& [device, frame] : before)
                if (device->FrameCopy() != frame) ++moved[device];
            hub.Traffic().Clear();  // the emulators' log of the streamed frames is the test's
        }
    }
};

TEST_F(AnimationSoak, FourProductsAnimatingPageAfterPageDoNotGrow) {
    for (const char* product : {"mouse", "keyboard", "mousepad", "headset"}) ASSERT_TRUE(hub.Plug(product));
    ASSERT_EQ(Play({"until device_select[3] read 1"}), 0);
    const int seconds = AnimationSeconds();
    // Every page twice before the first figure: what they allocate for good
    // (page caches, key pictures, fonts) is not growth.
    std::map<CVantrelUSBDevice*, int> warmUp;
    for (int round = 0; round < 2; ++round) ASSERT_NO_FATAL_FAILURE(ShowEachPage(warmUp));
    long first = 0, last = 0;
    ASSERT_TRUE(Memory("animation, after the warm-up", first));
    // Showing a page makes no widget or object: the pages were built once.
    // (Counted with the deletions already asked for done.)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const qsizetype widgets = QApplication::allWidgets().size();
    const qsizetype objects = window->findChildren<QObject*>().size();
    const auto start = Clock::now();
    auto report = start + std::chrono::minutes(5);
    std::vector<long> reported;  // the heap in use at each five-minute report
    int rounds = 0;
    std::map<CVantrelUSBDevice*, int> moved, lastRound;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        lastRound.clear();
        ASSERT_NO_FATAL_FAILURE(ShowEachPage(lastRound));
        for (const auto& [device, count] : lastRound) moved[device] += count;
        ++rounds;
        if (Clock::now() > report) {
            const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(Clock::now() - start).count();
            const std::string label = "animation, " + std::to_string(minutes) + " minutes on";
            long now = 0, allocated = 0;
            Memory(label.c_str(), now, &allocated);
            reported.push_back(allocated);
            report += std::chrono::minutes(5);
        }
    }
    ASSERT_TRUE(Memory("animation, at the end", last));
    std::printf("soak: four products animating, %d rounds of four pages in %.1f s; growth %.2f MiB\n", rounds,
                std::chrono::duration<double>(Clock::now() - start).count(), (last - first) / 1048576.0);
    // Each product animated after the warm-up (its frame moves at least while
    // its own page is shown, once a round) and had not stopped by the last round.
    ASSERT_EQ(moved.size(), 4u);
    ASSERT_EQ(lastRound.size(), 4u) << "a product's frame stood still through the last round";
    for (const auto& [device, count] : moved) EXPECT_GE(count, rounds) << device->DeviceName();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::allWidgets().size(), widgets);
    EXPECT_EQ(window->findChildren<QObject*>().size(), objects);
#ifndef M470_UNDER_SANITIZER
    EXPECT_LT(last - first, kMaxGrowthBytes) << "resident memory grew by " << (last - first) << " bytes";
    // A slow leak stays under the limit for an hour; it shows as steady steps.
    for (size_t i = 1; i < reported.size(); ++i)
        EXPECT_LT(reported[i] - reported[i - 1], kMaxReportGrowthBytes)
            << "the heap grew by " << (reported[i] - reported[i - 1]) << " bytes from minute " << 5 * i << " to "
            << 5 * (i + 1);
#endif
}

}  // namespace
}  // namespace m470::qt

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
