// What the program costs while the user is not touching it: the real window,
// offscreen, against the virtual products, for a fixed time in each case;
// CPU time and wakeups per thread are read from /proc before and after. A
// bare Qt window is measured in the same run, so the ratio holds on a busy
// machine too. The last line is the CPU spent on one wired exchange at 1 ms
// emulated latency.
//
//   bench_cpu_idle [--seconds N] [--warmup N]
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "device_link/HidTransport.h"
#include "sim/VirtualDeviceHub.h"

namespace {

using namespace std::chrono_literals;

struct Case {
    const char* name;
    const char* products;  // M470_VIRTUAL
    const char* script;    // lines played before the measured wait
    const char* reference; // which reference run it is compared with
    const char* goal;
};

constexpr const char* kAllProducts = "mouse,mouse-receiver,keyboard,mousepad,headset";

constexpr std::array<Case, 4> kCases{{
    {"four products, preview animating", kAllProducts, "", "LEDs at 15 fps", "<= 1.0 %"},
    // minimised once the first scan has shown the window (showing it restores it)
    {"four products, window minimised", kAllProducts, "wait 1500\nclick minbtn\n", "bare window", "<= 0.2 %"},
    // each product's page in turn, its effect static (the control shown wins
    // over those of hidden pages); the headset's page stays shown
    {"four products, static effect", kAllProducts,
     "wait 1500\nexpect device_select_name[0] text Gaming Mouse\nclick device_select[0]\n"
     "click mouse_device_seting_option_3\nitem light_combo_modeSelect 2\n"
     "expect device_select_name[2] text RGB Mousepad\nclick device_select[2]\nitem light_combo_modeSelect 3\n"
     "expect device_select_name[3] text Headset\nclick device_select[3]\nitem light_combo_modeSelect 3\n",
     "bare window", "<= 0.3 %"},
    {"no product", "mouse", "virtual unplug mouse\n", "bare window", "<= 0.02 %"},
}};

struct Reference {
    const char* name;
    int fps;
};
constexpr std::array<Reference, 3> kReferences{{{"bare window", 0}, {"LEDs at 15 fps", 15}, {"LEDs at 60 fps", 60}}};

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

Measurement MeasureProcess(pid_t pid, int warmup, int seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(warmup));
    const auto before = SampleThreads(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = SampleThreads(pid);
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
    return result;
}

std::vector<std::string> ScratchEnvironment(const std::string& scratch) {
    return {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + scratch, "XDG_DATA_HOME=" + scratch + "/data",
            "XDG_CONFIG_HOME=" + scratch + "/config", "M470_DEBUG=0"};
}

Measurement MeasureCase(const Case& c, int warmup, int seconds) {
    const std::string scratch = MakeScratchFolder();
    const std::string script = scratch + "/case.script";
    {
        std::ofstream out(script);
        out << c.script << "wait " << (warmup + seconds + 30) * 1000 << "\nquit\n";
    }
    std::vector<std::string> environment = ScratchEnvironment(scratch);
    environment.push_back(std::string("M470_VIRTUAL=") + c.products);
    const pid_t pid = Spawn({ExecutableFolder() + "m470", "--script", script}, environment);
    Measurement result = MeasureProcess(pid, warmup, seconds);
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

// ---- one exchange ----

double CpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--reference-window") return RunReferenceWindow(argc, argv, std::atoi(argv[2]));
    int seconds = 10, warmup = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--warmup") warmup = std::max(0, std::atoi(argv[++i]));
    }
    std::printf("bench_cpu_idle: %d s per case after %d s of warm-up, %% of one core\n\n", seconds, warmup);
    std::map<std::string, Measurement> references;
    for (const Reference& reference : kReferences) {
        references[reference.name] = MeasureReference(reference, warmup, seconds);
        std::printf("reference %-28s %7.3f %%  %8.1f wakeups/s\n", reference.name, references[reference.name].cpuPercent,
                    references[reference.name].wakeupsPerSecond);
    }
    std::printf("\n| case | CPU | wakeups/s | reference (same run) | goal |\n|---|---|---|---|---|\n");
    std::vector<std::pair<const Case*, Measurement>> results;
    for (const Case& c : kCases) {
        const Measurement m = MeasureCase(c, warmup, seconds);
        const Measurement& reference = references[c.reference];
        if (m.ended) std::printf("| %s | ended early: its script failed | | | %s |\n", c.name, c.goal);
        else
            std::printf("| %s | %.3f %% | %.1f | %s: %.3f %% | %s |\n", c.name, m.cpuPercent, m.wakeupsPerSecond,
                        c.reference, reference.cpuPercent, c.goal);
        std::fflush(stdout);
        results.emplace_back(&c, m);
    }
    const double latencyMs = 1.0;
    const double perExchange = CpuPerExchangeMs(500);
    std::printf("| one wired exchange at 1 ms emulated latency | %.3f ms of CPU (%.1f %% of the latency) | | | <= 5 %% |\n",
                perExchange, 100.0 * perExchange / latencyMs);
    std::printf("\nper thread:\n");
    for (const auto& [c, m] : results) {
        std::printf("  %s\n", c->name);
        PrintThreads(m);
    }
    for (const Reference& reference : kReferences) {
        std::printf("  reference: %s\n", reference.name);
        PrintThreads(references[reference.name]);
    }
    return 0;
}
