// Latency a user feels, on the real window (offscreen) against the virtual
// mouse, in one process:
//  - a profile chosen in the strip: from the choice to the first report the
//    mouse receives, less the 400 ms a choice waits for a later one (goal
//    50 ms);
//  - plug to page filled: from the mouse plugged to its settings read and
//    shown by its page; the product asks for 500 ms before the first read
//    (goal 600 ms in all);
//  - each product's page built as it arrives: the UI thread's CPU time from
//    the product plugged until its page is there, in a window that had no
//    product (a page is built once per window); the mouse's page is built as
//    the device manager starts, which is counted instead (goal 50 ms). These
//    windows come after the first one in the process: what the toolkit does
//    once per process (fonts, the style sheet's first use, pictures read) is
//    not in them.
//  - each product's page shown the first time: the UI thread's CPU time from
//    its entry chosen until the page has painted, in a window that found all
//    four products at its start (a page not yet shown is neither sized nor
//    styled until then; the page shown at the start is not counted). The
//    other products' previews animate meanwhile and are counted too
//    (goal 50 ms, as a page built);
//  - each tab whose layout loads at its first show (buttons with the macro
//    editor, recoil, the headset's equaliser and microphone): the UI
//    thread's CPU time from the tab chosen until its panel has painted, in
//    the same windows (goal 50 ms).
// Each is measured --rounds times; the figures are the median and the range.
//
//   bench_ui_latency [--rounds N]
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QEventLoop>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device_link/CommandCodes.h"
#include "devices/DeviceManager.h"
#include "devices/VantrelUSBDevice.h"
#include "pages/QuickProfileChoice.h"
#include "platform/Folders.h"
#include "qt/MainWnd.h"
#include "sim/VirtualDeviceHub.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

void Pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop in 2 ms turns until done() holds; false after 10 s.
bool WaitUntil(const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > end) return false;
        Pause(2);
    }
    return true;
}

// The battery's status read (6 bytes from address 0), which its 5 s timer
// sends whatever the user does: not a byte of the profile choice.
bool StatusRead(const m470::TrafficEntry& entry) {
    namespace packet = m470::packet;
    return entry.request.size() > packet::kAddressHigh && entry.request[packet::kCommand] == m470::command::kReadShort &&
           entry.request[packet::kLength] == 6 && entry.request[packet::kAddressLow] == 0 && entry.request[packet::kAddressHigh] == 0;
}

// The first report of the choice the mouse received at or after since; nullopt while none.
std::optional<Clock::time_point> FirstReport(m470::VirtualDeviceHub& hub, Clock::time_point since) {
    for (const m470::TrafficEntry& entry : hub.Traffic().Entries())
        if (entry.interfaceName == "mouse" && entry.time >= since && !StatusRead(entry)) return entry.time;
    return std::nullopt;
}

QComboBox* ShownProfileList(QWidget& window) {
    for (QComboBox* combo : window.findChildren<QComboBox*>("device_profile_combo"))
        if (combo->isVisible()) return combo;
    return nullptr;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The mouse's page is made as the device manager starts (its objects always are).
constexpr std::array<const char*, 3> kArrivals{"keyboard", "mousepad", "headset"};

// The data and settings folders a window started next uses.
void UseFolders(const std::string& folder) {
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
}

// The window at the program's size, shown and initialised as at a start,
// its device manager not started yet.
bool OpenWindow(m470::qt::CMainWnd& window) {
    if (!window.InitWindow()) return false;
    window.resize(1000, 640);
    window.show();
    window.OnWindowInit();
    return true;
}

// A new window, shown and started with no product plugged; the products are
// then plugged one at a time, each counted until its page is in the window's
// stack of product pages. The time counted includes the loop's 2 ms turns
// while the product is being found, which cost little next to a page.
void MeasurePageBuilds(m470::VirtualDeviceHub& hub, const std::string& root, int rounds,
                       std::map<std::string, std::vector<double>>& builds) {
    for (int round = 0; round < rounds; ++round) {
        UseFolders(root + "/builds" + std::to_string(round));  // no round reads an earlier one's profiles
        {
            m470::qt::CMainWnd window(QString::fromStdString(m470::GetInstallFolder()));
            if (!OpenWindow(window)) return;
            const double start = ThreadCpuMs();
            window.StartDeviceManager(hub.Backend());
            builds["mouse"].push_back(ThreadCpuMs() - start);
            auto* pages = window.findChild<QStackedWidget*>("device_switch");
            if (pages == nullptr) return;
            for (const char* product : kArrivals) {
                const int before = pages->count();
                const double plugged = ThreadCpuMs();
                hub.Plug(product);
                if (!WaitUntil([&] { return pages->count() > before; })) return;
                builds[product].push_back(ThreadCpuMs() - plugged);
            }
        }
        for (const char* product : kArrivals) hub.Unplug(product);
    }
}

// The product an entry of the selector names.
std::string Named(QRadioButton* entry) {
    const auto* name = entry->parentWidget()->findChild<QLabel*>("device_select_name");
    return name != nullptr ? name->text().toStdString() : "?";
}

// Tells when the watched widget painted.
class PaintSeen : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// The strip's tabs whose layouts load at their first show, and the item
// each loads into (the buttons tab brings the macro editor's too).
constexpr std::array<std::pair<const char*, const char*>, 4> kHeldTabs{{
    {"deng_Op_tab", "LightControlItem"},
    {"key_Op_tab", "KeySetControlItem"},
    {"recoil_Op_tab", "ShootControlItem"},
    {"6533_voice_Op_tab", "Voice6533ControlItem"},
}};

// Clicked, counted until watched painted; false when it never paints.
bool CountUntilPainted(QAbstractButton* button, QWidget* watched, std::vector<double>& figures) {
    PaintSeen seen;
    watched->installEventFilter(&seen);
    const double chosen = ThreadCpuMs();
    button->click();
    if (!WaitUntil([&] { return seen.painted; })) return false;
    figures.push_back(ThreadCpuMs() - chosen);
    watched->removeEventFilter(&seen);
    return true;
}

// Each held tab of the page shown, first shown, named by the product's entry.
void MeasureHeldTabs(QWidget* page, const std::string& product, std::map<std::string, std::vector<double>>& tabs) {
    for (const auto& [tab, item] : kHeldTabs) {
        auto* button = page->findChild<QAbstractButton*>(tab);
        QWidget* holder = page->findChild<QWidget*>(item);
        if (button == nullptr || holder == nullptr || !button->isVisible()) continue;
        if (holder->findChild<QWidget*>() != nullptr) continue;  // loaded as its page showed (its first tab)
        if (!CountUntilPainted(button, holder, tabs[product + " " + button->text().toStdString()])) return;
    }
}

// All four products plugged before a new window starts; then each entry not
// chosen at the start is chosen in turn, counted until its page painted; then
// on each page, the tabs loaded at their first show, counted the same way.
void MeasureFirstShows(m470::VirtualDeviceHub& hub, const std::string& root, int rounds,
                       std::map<std::string, std::vector<double>>& shows,
                       std::map<std::string, std::vector<double>>& tabs) {
    constexpr std::array<const char*, 4> kProducts{"mouse", "keyboard", "mousepad", "headset"};
    for (int round = 0; round < rounds; ++round) {
        UseFolders(root + "/shows" + std::to_string(round));
        for (const char* product : kProducts) hub.Plug(product);
        {
            m470::qt::CMainWnd window(QString::fromStdString(m470::GetInstallFolder()));
            if (!OpenWindow(window)) return;
            window.StartDeviceManager(hub.Backend());
            const auto entries = [&window] {
                std::vector<QRadioButton*> shown;
                for (QRadioButton* entry : window.findChildren<QRadioButton*>("device_select"))
                    if (entry->isVisible()) shown.push_back(entry);
                return shown;
            };
            auto* pages = window.findChild<QStackedWidget*>("device_switch");
            if (pages == nullptr || !WaitUntil([&] { return entries().size() == kProducts.size(); })) return;
            Pause(1000);  // the first reads end
            for (QRadioButton* entry : entries()) {
                if (entry->isChecked()) continue;
                QWidget* before = pages->currentWidget();
                PaintSeen seen;
                const double chosen = ThreadCpuMs();
                entry->click();
                if (!WaitUntil([&] {
                        QWidget* page = pages->currentWidget();
                        if (page != before && page != nullptr && !seen.painted) {
                            page->installEventFilter(&seen);
                            page->update();  // painted anyway; the filter must be on before
                            before = page;
                        }
                        return seen.painted;
                    }))
                    return;
                shows[Named(entry)].push_back(ThreadCpuMs() - chosen);
            }
            for (QRadioButton* entry : entries()) {
                entry->click();
                QCoreApplication::processEvents();
                MeasureHeldTabs(pages->currentWidget(), Named(entry), tabs);
            }
        }
        for (const char* product : kProducts) hub.Unplug(product);
    }
}

void Print(const char* what, std::vector<double> figures, double goal) {
    if (figures.empty()) {
        std::printf("%-48s not measured\n", what);
        return;
    }
    std::sort(figures.begin(), figures.end());
    const double median = figures[figures.size() / 2];
    std::printf("%-48s median %7.1f ms (%.1f-%.1f, %zu rounds), goal <= %.0f ms: %s\n", what, median, figures.front(),
                figures.back(), figures.size(), goal, median <= goal ? "met" : "not met");
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[++i]));
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char folder[] = "/tmp/bench-ui-latency-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    const std::string root = folder;
    ::setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    UseFolders(root);

    QApplication application(argc, argv);
    m470::VirtualDeviceHub hub;
    std::vector<double> choices, plugs;
    {
        m470::qt::CMainWnd window(QString::fromStdString(m470::GetInstallFolder()));
        if (!OpenWindow(window)) return 1;
        hub.Plug("mouse");
        window.StartDeviceManager(hub.Backend());
        const auto mouse = [&window]() -> m470::CVantrelUSBDevice* {
            const auto mice = window.Manager()->Mice();
            return mice.empty() ? nullptr : mice.front();
        };
        const auto read = [&mouse] { return mouse() != nullptr && mouse()->FirstReadDone(); };
        if (!WaitUntil(read)) return 1;

        // A second profile to choose, made as m470ctl makes it.
        window.HandleControlRequest({"mouse", "profile", "new"});
        for (int round = 0; round < rounds; ++round) {
            QComboBox* list = ShownProfileList(window);
            if (list == nullptr || list->count() < 2) break;
            Pause(800);  // the last choice's writes end
            const auto chosen = Clock::now();
            list->setCurrentIndex(list->currentIndex() == 0 ? 1 : 0);
            std::optional<Clock::time_point> first;
            if (!WaitUntil([&] { return (first = FirstReport(hub, chosen)).has_value(); })) break;
            choices.push_back(Milliseconds(*first - chosen).count() - m470::QuickProfileChoice::kSettleMs);
        }

        for (int round = 0; round < rounds; ++round) {
            hub.Unplug("mouse");
            if (!WaitUntil([&] { return !read(); })) break;
            const auto plugged = Clock::now();
            hub.Plug("mouse");
            if (!WaitUntil(read)) break;
            // What the read changed reaches the page through posted events.
            QCoreApplication::processEvents();
            plugs.push_back(Milliseconds(Clock::now() - plugged).count());
        }
    }
    hub.Unplug("mouse");
    std::map<std::string, std::vector<double>> builds;
    MeasurePageBuilds(hub, root, rounds, builds);
    std::map<std::string, std::vector<double>> shows, tabs;
    MeasureFirstShows(hub, root, rounds, shows, tabs);
    std::printf("bench_ui_latency: the real window offscreen, virtual mouse\n");
    Print("profile choice to first report, less 400 ms", choices, 50);
    Print("plug to page filled", plugs, 600);
    Print("manager start with the mouse page (UI CPU)", builds["mouse"], 50);
    for (const char* product : kArrivals)
        Print(("page built on arrival, " + std::string(product) + " (UI CPU)").c_str(), builds[product], 50);
    for (const auto& [product, figures] : shows)
        Print(("page shown first, " + product + " (UI CPU)").c_str(), figures, 50);
    for (const auto& [tab, figures] : tabs) Print(("tab shown first, " + tab + " (UI CPU)").c_str(), figures, 50);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
