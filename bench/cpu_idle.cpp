// What the program costs while the user is not touching it: the real window,
// offscreen, for a fixed time in each case; CPU time and wakeups per thread
// are read from /proc before and after. Bare Qt windows are measured in the
// same runs: one that draws nothing, and one repainting 20 LEDs at the
// preview's own frame rate and at 30 fps, so the comparison holds on a busy
// machine too. Every case and reference is measured --runs times, one after
// the other in each run; the table gives the medians (and the ranges) and is
// what the README shows. The last row is the CPU spent on one wired exchange
// at 1 ms emulated latency. After it, the resident memory of each animating
// case at the end of its measured time, against the bare window's: each runs
// in its own process, so no heap is shared.
//
//   bench_cpu_idle [--seconds N] [--warmup N] [--runs N] [--case TEXT]
//
// --case measures only the cases whose name holds TEXT (the references still run).
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "device_link/HidTransport.h"
#include "sim/VirtualDeviceHub.h"

namespace {

using namespace std::chrono_literals;

// The preview draws a frame when one changed: the factory effects step
// every 4 ticks of the 64 Hz clock.
constexpr int kPreviewFps = 16;

struct Reference {
    const char* name;
    int fps;  // 0: the window draws nothing after it showed
};
constexpr std::array<Reference, 3> kReferences{{
    {"bare window", 0}, {"20 LEDs at 16 fps", kPreviewFps}, {"20 LEDs at 30 fps", 30}}};
constexpr size_t kBare = 0, kAtPreviewRate = 1;

// Which backend a case runs on, and what it needs of the machine.
enum class Backend { Virtual, RealUnderUdevMonitor, RealWithoutUdevDaemon };

struct Case {
    const char* name;
    Backend backend;
    const char* products;  // M470_VIRTUAL
    const char* script;    // lines played before the measured wait
    double goalPercent;
    // The preview animates: the case must also cost no more than the
    // reference at the preview's rate.
    bool belowPreviewReference;
};

constexpr const char* kAllProducts = "mouse,mouse-receiver,keyboard,mousepad,headset";
#define M470_FOUND "until device_select[3] read 1\n"

constexpr std::array<Case, 10> kCases{{
    {"mouse page shown", Backend::Virtual, kAllProducts, M470_FOUND "click device_select[0]\n", 1.0, true},
    {"keyboard page shown", Backend::Virtual, kAllProducts,
     M470_FOUND "expect device_select_name[1] text Keyboard\nclick device_select[1]\n", 1.0, true},
    {"pad page shown", Backend::Virtual, kAllProducts,
     M470_FOUND "expect device_select_name[2] text RGB Mousepad\nclick device_select[2]\n", 1.0, true},
    {"headset page shown", Backend::Virtual, kAllProducts,
     M470_FOUND "expect device_select_name[3] text Headset\nclick device_select[3]\n", 1.0, true},
    {"mouse Lighting tab", Backend::Virtual, kAllProducts,
     M470_FOUND "click device_select[0]\nclick mouse_device_seting_option_3\n", 1.0, true},
    // minimised once the scan has shown the window (showing it restores it)
    {"window minimised", Backend::Virtual, kAllProducts, M470_FOUND "click minbtn\n", 0.2, false},
    // each product's page in turn, its effect static (the control shown wins
    // over those of hidden pages); the headset's page stays shown
    {"static effect", Backend::Virtual, kAllProducts,
     M470_FOUND "expect device_select_name[0] text Gaming Mouse\nclick device_select[0]\n"
     "click mouse_device_seting_option_3\nitem light_combo_modeSelect 2\n"
     "expect device_select_name[2] text RGB Mousepad\nclick device_select[2]\nitem light_combo_modeSelect 3\n"
     "expect device_select_name[3] text Headset\nclick device_select[3]\nitem light_combo_modeSelect 3\n",
     0.05, false},
    {"no product, virtual backend", Backend::Virtual, "mouse", "until device_select[0] read 1\nvirtual unplug mouse\n",
     0.02, false},
    // the real backend with nothing of ours plugged in
    {"no product, real backend under a udev monitor", Backend::RealUnderUdevMonitor, nullptr, "wait 1500\n", 0.02,
     false},
    {"no product, real backend, no udev daemon", Backend::RealWithoutUdevDaemon, nullptr, "wait 1500\n", 0.02, false},
}};
#undef M470_FOUND

// The real backend watches udev only while its daemon runs; a case that
// needs the other state cannot be measured on this machine.
bool UdevDaemonRuns() {
    struct stat status {};
    return ::stat("/run/udev/control", &status) == 0;
}

const char* WhyNotMeasurable(const Case& c) {
    if (c.backend == Backend::RealUnderUdevMonitor && !UdevDaemonRuns()) return "not measured: no udev daemon runs here";
    if (c.backend == Backend::RealWithoutUdevDaemon && UdevDaemonRuns()) return "not measured: a udev daemon runs here";
    return nullptr;
}

// ---- the reference window: 20 LEDs in a window of the program's size ----

class LedWindow : public QWidget {
public:
    explicit LedWindow(int fps) {
        resize(1000, 640);
        if (fps <= 0) return;
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            ++phase_;
            update(QRect(40, 40, 20 * 24, 24));
        });
        timer->start(1000 / fps);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 20; ++i) {
            painter.setBrush(QColor::fromHsv((phase_ * 4 + i * 18) % 360, 255, 255));
            painter.drawEllipse(QRect(40 + i * 24, 40, 18, 18));
        }
    }

private:
    int phase_ = 0;
};

int RunReferenceWindow(int argc, char** argv, int fps) {
    QApplication application(argc, argv);
    LedWindow window(fps);
    window.show();
    return application.exec();
}

// ---- /proc sampling ----

// CPU time so far by clock: the process's, or the calling thread's.
double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct ThreadSample {
    std::string name;
    unsigned long long cpuNanoseconds = 0;  // time on a CPU (schedstat: finer than the 10 ms of stat)
    unsigned long long switches = 0;        // voluntary context switches: the thread slept and was woken
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<int, ThreadSample> SampleThreads(pid_t pid) {
    std::map<int, ThreadSample> threads;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return threads;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string task = folder + "/" + entry->d_name;
        ThreadSample sample;
        sample.name = ReadText(task + "/comm");
        if (!sample.name.empty() && sample.name.back() == '\n') sample.name.pop_back();
        std::istringstream schedstat(ReadText(task + "/schedstat"));
        schedstat >> sample.cpuNanoseconds;
        std::istringstream status(ReadText(task + "/status"));
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                sample.switches += std::stoull(line.substr(line.find(':') + 1));
        threads[std::atoi(entry->d_name)] = sample;
    }
    ::closedir(dir);
    return threads;
}

struct ThreadCost {
    int count = 0;
    double cpuPercent = 0, wakeupsPerSecond = 0;
};
struct Measurement {
    bool ended = false;  // the process was gone before the end
    double cpuPercent = 0, wakeupsPerSecond = 0;
    // Resident memory at the end, in KiB: VmRSS, and PSS (pages shared with
    // other processes, the Qt libraries, counted in part).
    long residentKb = 0, proportionalKb = 0;
    std::map<std::string, ThreadCost> threads;  // by thread name
};

Measurement Difference(const std::map<int, ThreadSample>& before, const std::map<int, ThreadSample>& after,
                       double seconds) {
    Measurement result;
    for (const auto& [tid, end] : after) {
        const auto start = before.find(tid);
        if (start == before.end()) continue;  // a thread that came and went is not counted
        const double cpu = 100.0 * static_cast<double>(end.cpuNanoseconds - start->second.cpuNanoseconds) / 1e9 / seconds;
        const double wakeups = static_cast<double>(end.switches - start->second.switches) / seconds;
        ThreadCost& cost = result.threads[end.name];
        ++cost.count;
        cost.cpuPercent += cpu;
        cost.wakeupsPerSecond += wakeups;
        result.cpuPercent += cpu;
        result.wakeupsPerSecond += wakeups;
    }
    return result;
}

// The value in KiB of the line "key: N kB" of a /proc file; 0 when missing.
long KilobytesOf(const std::string& text, std::string_view key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key, 0) == 0 && line.size() > key.size() && line[key.size()] == ':')
            return std::atol(line.c_str() + key.size() + 1);
    return 0;
}

void SampleMemory(pid_t pid, Measurement& into) {
    const std::string folder = "/proc/" + std::to_string(pid);
    into.residentKb = KilobytesOf(ReadText(folder + "/status"), "VmRSS");
    into.proportionalKb = KilobytesOf(ReadText(folder + "/smaps_rollup"), "Pss");
}

// ---- child processes ----

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    std::string text(path, static_cast<size_t>(length));
    return text.substr(0, text.rfind('/') + 1);
}

// A private home for one run: profiles, settings and the instance socket.
std::string MakeScratchFolder() {
    char pattern[] = "/tmp/m470-cpu-idle-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made != nullptr ? made : "/tmp";
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
    std::fflush(stdout);  // or the child prints our buffered lines again
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (const std::string& assignment : environment) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execv(argv[0], argv.data());
    std::_Exit(127);
}

// Waits until the file exists (the case's script has played its lines) or
// the process ended; false when it ended or a minute passed.
bool WaitForFile(pid_t pid, const std::string& path) {
    struct stat status {};
    for (int tenths = 0; tenths < 600; ++tenths) {
        if (::stat(path.c_str(), &status) == 0) return true;
        if (::kill(pid, 0) != 0) return false;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

Measurement MeasureProcess(pid_t pid, int warmup, int seconds, const std::string& readyFile = {}) {
    if (!readyFile.empty() && !WaitForFile(pid, readyFile)) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        Measurement failed;
        failed.ended = true;
        return failed;
    }
    std::this_thread::sleep_for(std::chrono::seconds(warmup));
    const auto before = SampleThreads(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = SampleThreads(pid);
    Measurement memory;
    SampleMemory(pid, memory);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int status = 0;
    // A process that ended by itself (a script line failed) measured nothing.
    const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, &status, 0);
    }
    Measurement result = Difference(before, after, elapsed);
    result.ended = ended;
    result.residentKb = memory.residentKb;
    result.proportionalKb = memory.proportionalKb;
    return result;
}

std::vector<std::string> ScratchEnvironment(const std::string& scratch) {
    return {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + scratch, "XDG_DATA_HOME=" + scratch + "/data",
            "XDG_CONFIG_HOME=" + scratch + "/config", "M470_DEBUG=0"};
}

Measurement MeasureCase(const Case& c, int warmup, int seconds) {
    const std::string scratch = MakeScratchFolder();
    const std::string script = scratch + "/case.script";
    // The measurement starts once the script's lines have run (its own
    // looks every 50 ms while it waits for the products are not counted).
    // A mark, not a screenshot: taking the window's picture would lay out
    // the pages the user has not shown.
    const std::string ready = scratch + "/ready";
    {
        std::ofstream out(script);
        out << c.script << "mark " << ready << "\nwait " << (warmup + seconds + 30) * 1000 << "\nquit\n";
    }
    std::vector<std::string> environment = ScratchEnvironment(scratch);
    if (c.products != nullptr) environment.push_back(std::string("M470_VIRTUAL=") + c.products);
    const pid_t pid = Spawn({ExecutableFolder() + "m470", "--script", script}, environment);
    Measurement result = MeasureProcess(pid, warmup, seconds, ready);
    std::system(("rm -rf '" + scratch + "'").c_str());
    return result;
}

Measurement MeasureReference(const Reference& reference, int warmup, int seconds) {
    const std::string scratch = MakeScratchFolder();
    const pid_t pid = Spawn({ExecutableFolder() + "bench_cpu_idle", "--reference-window", std::to_string(reference.fps)},
                            ScratchEnvironment(scratch));
    Measurement result = MeasureProcess(pid, warmup, seconds);
    std::system(("rm -rf '" + scratch + "'").c_str());
    return result;
}

// ---- one thread waking per frame ----

// A thread that does nothing but sleep until its next step at the preview's
// rate: what each thread woken per frame costs before it does any work.
double BareWakesPercent(int seconds) {
    double percent = 0;
    std::thread([&] {
        const double start = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        std::mutex mutex;
        std::condition_variable never;
        std::unique_lock lock(mutex);
        auto next = std::chrono::steady_clock::now();
        const auto end = next + std::chrono::seconds(seconds);
        while (next < end) {
            next += std::chrono::microseconds(1000000 / kPreviewFps);
            never.wait_until(lock, next, [] { return false; });
        }
        percent = 100.0 * (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start) / seconds;
    }).join();
    return percent;
}

// ---- one exchange ----

// CPU per wired exchange with the reply 1 ms after the request.
double CpuPerExchangeMs(int exchanges) {
    m470::VirtualDeviceHub hub;
    hub.Plug("mouse");
    hub.SetLatency(1000us, 8000us);
    m470::CHidTransport transport(hub.Backend());
    for (const std::string& path : hub.Backend()->EnumerateInterfaces())
        if (path.find("&col04") != std::string::npos) transport.Primary().Open(path, true, true, true, false);
    transport.SetLinkMode(m470::LinkWired);
    transport.SetOpened(true);
    uint8_t status[6];
    const double start = CpuSeconds();
    for (int i = 0; i < exchanges; ++i)
        if (transport.ReadShort(status, sizeof status, 0) != m470::kResultSuccess) return -1;
    return (CpuSeconds() - start) * 1000.0 / exchanges;
}

void PrintThreads(const Measurement& m) {
    for (const auto& [name, cost] : m.threads) {
        if (cost.cpuPercent < 0.0005 && cost.wakeupsPerSecond < 0.05) continue;
        std::printf("      %-16s x%-2d %7.3f %%  %8.1f wakeups/s\n", name.c_str(), cost.count, cost.cpuPercent,
                    cost.wakeupsPerSecond);
    }
}

// The measurements of one case or reference over the runs.
struct Series {
    std::vector<Measurement> runs;
    bool Failed() const {
        return std::any_of(runs.begin(), runs.end(), [](const Measurement& m) { return m.ended; });
    }
    // The run of the median CPU (the lower middle one for an even count).
    const Measurement& Median() const {
        std::vector<const Measurement*> sorted;
        for (const Measurement& m : runs) sorted.push_back(&m);
        std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->cpuPercent < b->cpuPercent; });
        return *sorted[(sorted.size() - 1) / 2];
    }
    std::string Cpu() const {
        double low = runs.front().cpuPercent, high = low;
        for (const Measurement& m : runs) {
            low = std::min(low, m.cpuPercent);
            high = std::max(high, m.cpuPercent);
        }
        char text[80];
        std::snprintf(text, sizeof text, "%.3f %% (%.3f-%.3f)", Median().cpuPercent, low, high);
        return text;
    }
};

std::string GoalText(const Case& c) {
    char text[80];
    std::snprintf(text, sizeof text, "<= %.2f %%%s", c.goalPercent, c.belowPreviewReference ? " and <= LEDs at 16 fps" : "");
    return text;
}

bool GoalMet(const Case& c, const Series& series, const std::vector<Series>& references) {
    const double cpu = series.Median().cpuPercent;
    if (cpu > c.goalPercent) return false;
    return !c.belowPreviewReference || cpu <= references[kAtPreviewRate].Median().cpuPercent;
}

// Set by --case: only the cases whose name holds this text are measured and printed.
std::string gChosenCases;
bool Chosen(const Case& c) { return std::string_view(c.name).find(gChosenCases) != std::string_view::npos; }

void PrintTable(const std::vector<Series>& cases, const std::vector<Series>& references, int runs) {
    std::printf("| case | CPU, median of %d (range) | wakeups/s |", runs);
    for (const Reference& reference : kReferences) std::printf(" %s (same runs) |", reference.name);
    std::printf(" goal | met |\n|---|---|---|");
    for (size_t i = 0; i < kReferences.size(); ++i) std::printf("---|");
    std::printf("---|---|\n");
    std::string referenceColumns;
    for (const Series& reference : references) referenceColumns += " " + reference.Cpu() + " |";
    for (size_t i = 0; i < kCases.size(); ++i) {
        const Case& c = kCases[i];
        if (!Chosen(c)) continue;
        if (const char* why = WhyNotMeasurable(c)) {
            std::printf("| %s | %s | |%s %s | |\n", c.name, why, referenceColumns.c_str(), GoalText(c).c_str());
            continue;
        }
        if (cases[i].Failed()) {
            std::printf("| %s | ended early: its script failed | |%s %s | no |\n", c.name, referenceColumns.c_str(),
                        GoalText(c).c_str());
            continue;
        }
        std::printf("| %s | %s | %.1f |%s %s | %s |\n", c.name, cases[i].Cpu().c_str(),
                    cases[i].Median().wakeupsPerSecond, referenceColumns.c_str(), GoalText(c).c_str(),
                    GoalMet(c, cases[i], references) ? "yes" : "no");
    }
}

// The median over the runs of one memory figure.
long MedianKb(const Series& series, long Measurement::*figure) {
    std::vector<long> values;
    for (const Measurement& m : series.runs) values.push_back(m.*figure);
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

constexpr double kMemoryGoalRatio = 2.0;

// Resident memory of the cases that animate (the four products, a page
// shown) against the bare window, medians over the runs. The goal is on
// resident memory (VmRSS); PSS is printed beside it, as it counts the pages
// shared with other processes only in part.
void PrintMemoryTable(const std::vector<Series>& cases, const std::vector<Series>& references) {
    const Series& bare = references[kBare];
    const long bareRss = MedianKb(bare, &Measurement::residentKb), barePss = MedianKb(bare, &Measurement::proportionalKb);
    std::printf("\n| resident memory at the end, median | VmRSS MiB | PSS MiB | bare window VmRSS / PSS MiB (same runs) "
                "| ratio VmRSS / PSS | goal | met |\n|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < kCases.size(); ++i) {
        if (!kCases[i].belowPreviewReference || cases[i].runs.empty() || cases[i].Failed()) continue;
        const long rss = MedianKb(cases[i], &Measurement::residentKb);
        const long pss = MedianKb(cases[i], &Measurement::proportionalKb);
        const double rssRatio = bareRss > 0 ? static_cast<double>(rss) / bareRss : 0;
        const double pssRatio = barePss > 0 ? static_cast<double>(pss) / barePss : 0;
        const bool met = bareRss > 0 && rssRatio <= kMemoryGoalRatio;
        std::printf("| %s | %.1f | %.1f | %.1f / %.1f | %.2fx / %.2fx | VmRSS <= %.0fx | %s |\n", kCases[i].name, rss / 1024.0,
                    pss / 1024.0, bareRss / 1024.0, barePss / 1024.0, rssRatio, pssRatio, kMemoryGoalRatio,
                    met ? "yes" : "no");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--reference-window") return RunReferenceWindow(argc, argv, std::atoi(argv[2]));
    int seconds = 10, warmup = 3, runs = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--warmup") warmup = std::max(0, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--case") gChosenCases = argv[++i];
    }
    std::printf("bench_cpu_idle: %d s per case after %d s of warm-up, %d runs, %% of one core\n", seconds, warmup, runs);
    std::vector<Series> references(kReferences.size()), cases(kCases.size());
    std::vector<double> bareWakes;
    for (int run = 0; run < runs; ++run) {
        std::fprintf(stderr, "run %d of %d\n", run + 1, runs);
        for (size_t i = 0; i < kReferences.size(); ++i)
            references[i].runs.push_back(MeasureReference(kReferences[i], warmup, seconds));
        bareWakes.push_back(BareWakesPercent(seconds));
        for (size_t i = 0; i < kCases.size(); ++i)
            if (Chosen(kCases[i]) && WhyNotMeasurable(kCases[i]) == nullptr) cases[i].runs.push_back(MeasureCase(kCases[i], warmup, seconds));
    }
    std::printf("\n");
    PrintTable(cases, references, runs);
    const double latencyMs = 1.0;
    const double perExchange = CpuPerExchangeMs(500);
    std::printf("\none wired exchange at 1 ms emulated latency: %.3f ms of CPU (%.1f %% of the latency; goal <= 5 %%)\n",
                perExchange, 100.0 * perExchange / latencyMs);
    std::sort(bareWakes.begin(), bareWakes.end());
    std::printf("\na thread that only wakes %d times a second (same runs): %.3f %% (%.3f-%.3f); a page shown with "
                "the headset's LEDs fed wakes two threads per frame, the reference window one\n",
                kPreviewFps, bareWakes[(bareWakes.size() - 1) / 2], bareWakes.front(), bareWakes.back());
    PrintMemoryTable(cases, references);
    std::printf("\nper thread, the median run:\n");
    for (size_t i = 0; i < kCases.size(); ++i) {
        if (cases[i].runs.empty()) continue;
        std::printf("  %s\n", kCases[i].name);
        PrintThreads(cases[i].Median());
    }
    for (size_t i = 0; i < kReferences.size(); ++i) {
        std::printf("  reference: %s\n", kReferences[i].name);
        PrintThreads(references[i].Median());
    }
    return 0;
}
