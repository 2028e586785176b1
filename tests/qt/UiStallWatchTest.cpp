// The stall watch over real events: handlers that spin or block past the
// limit are told once, naming their receiver and event; quick ones, waits of
// a nested event loop and threads other than the UI thread are not.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/DebugTrace.h"
#include "qt/UiStallWatch.h"

namespace m470::qt {
namespace {

constexpr auto kPastTheLimit = std::chrono::milliseconds(80);
constexpr QEvent::Type kWork = static_cast<QEvent::Type>(QEvent::User + 7);

int64_t ThreadCpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Uses this much of the thread's CPU time, however long the machine makes it take.
void Spin(std::chrono::milliseconds cpu) {
    const int64_t end = ThreadCpuNanoseconds() + std::chrono::duration_cast<std::chrono::nanoseconds>(cpu).count();
    while (ThreadCpuNanoseconds() < end) {
    }
}

// Does what it is given when a work event reaches it.
class Worker : public QObject {
public:
    explicit Worker(const char* name) { setObjectName(name); }
    std::function<void()> work;
    bool event(QEvent* event) override {
        if (event->type() != kWork) return QObject::event(event);
        if (work) work();
        return true;
    }
    void Run() {
        QEvent event(kWork);
        QCoreApplication::sendEvent(this, &event);
    }
};

std::vector<std::string> StallLines() {
    std::vector<std::string> found;
    for (const std::string& line : DebugTrace::Lines())
        if (line.rfind("UI thread stall: ", 0) == 0) found.push_back(line);
    return found;
}

class UiStallWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        application = dynamic_cast<WatchedApplication*>(QCoreApplication::instance());
        ASSERT_NE(application, nullptr);
        DebugTrace::Clear();
    }
    void TearDown() override { application->StopWatching(); }
    WatchedApplication* application = nullptr;
};

TEST_F(UiStallWatchTest, ASpinningHandlerIsToldWithItsReceiverAndEventAndAQuickOneIsNot) {
    Worker spinner("spinner");
    spinner.work = [] { Spin(kPastTheLimit); };
    Worker quick("quick");
    quick.work = [] { Spin(std::chrono::milliseconds(1)); };

    spinner.Run();  // not watched yet
    EXPECT_TRUE(StallLines().empty());

    for (const auto measure : {UiStallWatch::Measure::Automatic, UiStallWatch::Measure::CpuOnly}) {
        DebugTrace::Clear();
        UiStallWatch& watch = application->WatchStalls(UiStallWatch::kLimit, measure);
        for (int round = 0; round < 20; ++round) quick.Run();
        spinner.Run();
        const auto lines = StallLines();
        ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "" : lines.front());
        EXPECT_EQ(watch.Stalls(), 1);
        EXPECT_NE(lines[0].find(" ms in QObject \"spinner\" handling user event (1007) at "), std::string::npos)
            << lines[0];
        const double milliseconds = std::stod(lines[0].substr(std::string("UI thread stall: ").size()));
        EXPECT_GE(milliseconds, 80.0) << lines[0];
    }
}

TEST_F(UiStallWatchTest, ABlockedWaitCountsWhereTheKernelSplitsItOutAndNotOnCpuTimeAlone) {
    Worker sleeper("sleeper");
    sleeper.work = [] { std::this_thread::sleep_for(kPastTheLimit); };

    application->WatchStalls(UiStallWatch::kLimit, UiStallWatch::Measure::CpuOnly);
    sleeper.Run();
    EXPECT_TRUE(StallLines().empty()) << "a sleep uses no CPU time";

    UiStallWatch& watch = application->WatchStalls();
    if (watch.Measuring() != UiStallWatch::Measure::RunningOrBlocked)
        GTEST_SKIP() << "this kernel gives no run-queue delay; only CPU time counts";
    sleeper.Run();
    const auto lines = StallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("QObject \"sleeper\""), std::string::npos) << lines[0];
}

TEST_F(UiStallWatchTest, ANestedSendIsToldByTheHandlerThatDidTheWorkOnlyOnce) {
    application->WatchStalls();
    Worker inner("inner");
    inner.work = [] { Spin(kPastTheLimit); };
    Worker outer("outer");
    outer.work = [&inner] { inner.Run(); };
    outer.Run();
    auto lines = StallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\"inner\""), std::string::npos) << lines[0];

    // The outer handler's own work past the limit is its own stall.
    DebugTrace::Clear();
    outer.work = [&inner] {
        inner.Run();
        Spin(kPastTheLimit);
    };
    outer.Run();
    lines = StallLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"inner\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\"outer\""), std::string::npos) << lines[1];

    // Three deep: the middle handler's quickness does not hide the stall from the outermost.
    DebugTrace::Clear();
    Worker middle("middle");
    middle.work = [&inner] { inner.Run(); };
    outer.work = [&middle] { middle.Run(); };
    outer.Run();
    lines = StallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\"inner\""), std::string::npos) << lines[0];
}

TEST_F(UiStallWatchTest, ANestedEventLoopWaitsIdleAndItsEventsAreTimedApart) {
    application->WatchStalls();
    Worker spinner("spinner");
    spinner.work = [] { Spin(kPastTheLimit); };
    Worker dialog("dialog");
    // Like a modal dialog: the handler serves events until it is closed.
    dialog.work = [&spinner] {
        QEventLoop loop;
        QTimer::singleShot(0, &spinner, [&spinner] { spinner.Run(); });
        QTimer::singleShot(150, &loop, &QEventLoop::quit);
        loop.exec();
    };
    dialog.Run();
    const auto lines = StallLines();
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_NE(lines[0].find("\"spinner\""), std::string::npos) << lines[0];
}

TEST_F(UiStallWatchTest, OtherThreadsAndStartUpScopes) {
    UiStallWatch& watch = application->WatchStalls();
    std::thread other([&watch] {
        watch.Enter("Elsewhere", QString(), QEvent::None);
        Spin(kPastTheLimit);
        watch.Leave();
    });
    other.join();
    EXPECT_TRUE(StallLines().empty());

    {
        const StallScope scope("window start after show");
        Spin(kPastTheLimit);
    }
    const auto lines = StallLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" ms in window start after show at "), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace m470::qt
