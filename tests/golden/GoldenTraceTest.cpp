// Golden traces: a fixed set of scenarios played against the virtual
// products through m470ctl's own session, and what they leave compared
// byte for byte with files kept in tests/golden/data/: every exchange with
// every product, and the files the program writes under the data folder.
// They hold the product behaviour still while the device layer is reworked;
// M470_GOLDEN_UPDATE=1 writes them anew when a change of traffic is meant.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ctl/CtlExecutor.h"
#include "ctl/HeadlessSession.h"
#include "platform/Folders.h"
#include "sim/VirtualDeviceHub.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"

namespace m470::ctl {
namespace {

namespace fs = std::filesystem;

const std::string kGoldenFolder = std::string(M470_TEST_DATA_DIR) + "/../golden/data/";

// One scenario: the products plugged at the start and its steps, each one of
//   "ctl WORDS..."        an m470ctl command line (words split on spaces, "~"
//                         a space within a word, "@/" the scenario's own folder)
//   "unplug NAME"         the interface goes away; the session notices it
//   "plug NAME"           it comes back; the session waits for its first read
// The trace of the session's start (scan and first read) is its first part.
struct Scenario {
    const char* name;
    std::vector<std::string> plugged;
    std::vector<std::string> steps;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// The lighting edits every lit product takes: a still mode (colour and
// brightness, no speed), then a moving one (speed and direction too).
std::vector<std::string> LightingSteps(const std::string& product, const std::string& still, const std::string& moving) {
    const std::string set = "ctl " + product + " set ";
    return {set + "mode " + still, set + "colour 00ff80", set + "brightness 1", set + "speed 3",
            set + "mode " + moving, set + "speed 4",      set + "direction left", set + "colour ff0000",
            "ctl " + product + " get"};
}

std::vector<std::string> ProfileSteps(const std::string& product) {
    return {"ctl " + product + " profile new",          "ctl " + product + " profile list",
            "ctl " + product + " profile use 1",        "ctl " + product + " profile export @/saved.json",
            "ctl " + product + " profile import @/saved.json", "ctl " + product + " profile use 2",
            "ctl " + product + " profile delete",       "ctl " + product + " profile reset",
            "ctl " + product + " profile list"};
}

std::vector<std::string> ReplugSteps(const std::string& name, const std::string& product) {
    return {"unplug " + name, "ctl list", "plug " + name, "ctl list", "ctl " + product + " get"};
}

std::vector<std::string> MouseSettingSteps() {
    return {"ctl mouse set dpi 2 1600",         "ctl mouse set dpi 3 99999",         "ctl mouse set stage 3",           "ctl mouse set stage-enabled 5 off",
            "ctl mouse set report-rate 500",    "ctl mouse set pointer-speed 15",  "ctl mouse set pointer-precision on",
            "ctl mouse set scroll-lines 7",     "ctl mouse set scroll-page on",    "ctl mouse set double-click 12",
            "ctl mouse set key forward Page~Up", "ctl mouse set key 5 golden",     "ctl mouse set key 6 gun_2_txt",
            "ctl mouse get dpi 2",              "ctl mouse get key 5",             "ctl --json mouse get"};
}

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios{
        {"mouse-first-read", {"mouse"}, {"ctl list", "ctl mouse get"}},
        {"mouse-settings", {"mouse"}, MouseSettingSteps()},
        {"mouse-lighting", {"mouse"}, LightingSteps("mouse", "static", "wave")},
        {"mouse-profiles", {"mouse"}, ProfileSteps("mouse")},
        {"mouse-replug", {"mouse"}, ReplugSteps("mouse", "mouse")},
        {"mouse-receiver-first-read", {"mouse-receiver"}, {"ctl list", "ctl mouse get"}},
        {"mouse-receiver-settings", {"mouse-receiver"}, MouseSettingSteps()},
        {"mouse-receiver-lighting", {"mouse-receiver"}, LightingSteps("mouse", "static", "wave")},
        {"mouse-receiver-replug", {"mouse-receiver"}, ReplugSteps("mouse-receiver", "mouse")},
        {"keyboard-first-read", {"keyboard"}, {"ctl list", "ctl keyboard get"}},
        {"keyboard-settings",
         {"keyboard"},
         {"ctl keyboard set report-rate 500", "ctl keyboard set repeat-rate 30", "ctl keyboard set repeat-delay 750",
          "ctl keyboard set six-key on", "ctl keyboard set wasd on", "ctl keyboard set win-lock on",
          "ctl keyboard set key caplk esc", "ctl keyboard set key A golden", "ctl keyboard get key caplk",
          "ctl --json keyboard get"}},
        {"keyboard-lighting", {"keyboard"}, LightingSteps("keyboard", "still~rows", "column~wave")},
        {"keyboard-profiles", {"keyboard"}, ProfileSteps("keyboard")},
        {"keyboard-replug", {"keyboard"}, ReplugSteps("keyboard", "keyboard")},
        {"mousepad-first-read", {"mousepad"}, {"ctl list", "ctl mousepad get"}},
        {"mousepad-lighting", {"mousepad"}, LightingSteps("mousepad", "static", "wave")},
        {"mousepad-profiles", {"mousepad"}, ProfileSteps("mousepad")},
        {"mousepad-replug", {"mousepad"}, ReplugSteps("mousepad", "mousepad")},
        {"headset-first-read", {"headset"}, {"ctl list", "ctl headset get"}},
        {"headset-settings",
         {"headset"},
         {"ctl headset set mic-volume 60", "ctl headset set monitor-volume 30", "ctl headset set mic off",
          "ctl headset set monitor on", "ctl headset get"}},
        {"headset-lighting", {"headset"}, LightingSteps("headset", "static", "wave")},
        {"headset-profiles", {"headset"}, ProfileSteps("headset")},
        {"headset-replug", {"headset"}, ReplugSteps("headset", "headset")},
        {"all-products",
         {"mouse", "keyboard", "mousepad", "headset"},
         {"ctl list", "ctl mouse set dpi 1 800", "ctl keyboard set colour ff8000", "ctl mousepad set brightness 3",
          "ctl headset set mic-volume 40", "ctl list"}},
    };
    return scenarios;
}

void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A macro of two events for each product with keys plugged, so that a key can run one.
void WriteMacros(const std::string& data, const std::vector<std::string>& plugged) {
    const std::string catalogue = R"({"MacroInfo": [{"MacroName": "golden", "Guid": "g0"}]})";
    const std::string events = R"({"Events": [{"Type": 1, "Button": 65, "Action": "down", "Delay": "20"},)"
                               R"( {"Type": 1, "Button": 65, "Action": "up", "Delay": "35"}]})";
    for (const std::string& name : plugged) {
        const std::string product = name.substr(0, name.find('-'));
        if (product != "mouse" && product != "keyboard") continue;
        WriteFile(data + product + "/macro.config", catalogue);
        WriteFile(data + product + "/g0.mac", events);
    }
}

std::string Hex(const uint8_t* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

// The exchanges since the last look, one a line: interface, request, reply.
// Each interface's own order is kept; two interfaces' exchanges are told one
// after the other, as their threads may interleave them either way. The
// headset's LED frames (output reports) are left out: its lighting thread
// sends them at the pace of the real clock, so how many go out, and between
// which commands, depends on timing (HeadsetLedReportsTest checks them on a
// manual clock).
std::string TakeTraffic(VirtualDeviceHub& hub) {
    std::vector<TrafficEntry> entries = hub.Traffic().Entries();
    hub.Traffic().Clear();
    std::erase_if(entries, [](const TrafficEntry& entry) { return entry.viaControlPipe; });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TrafficEntry& a, const TrafficEntry& b) { return a.interfaceName < b.interfaceName; });
    std::string text;
    for (const TrafficEntry& entry : entries) {
        text += entry.interfaceName + " " + Hex(entry.request.data(), entry.request.size());
        if (entry.dropped) text += " (no reply)";
        else text += " " + Hex(entry.reply.data(), entry.reply.size());
        text += "\n";
    }
    return text;
}

// The one normalisation: profile ids are made from the clock (a time to the
// millisecond, "2026_12_10_09_51_37_640") or drawn at random (a UUID), so
// each id is replaced by "id-N", N counting ids in the order they first
// appear when the profile lists ("ProfileList.ini", which lists every
// profile) are read in path order, then the other files. Nothing else is
// rewritten.
using Files = std::map<std::string, std::string>;
const std::regex kProfileId(
    "[0-9]{4}_[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{3}"
    "|[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");

Files Normalised(const Files& files) {
    std::map<std::string, std::string> names;
    const auto number = [&names](const std::string& text) {
        for (std::sregex_iterator it(text.begin(), text.end(), kProfileId), end; it != end; ++it)
            names.emplace(it->str(), "id-" + std::to_string(names.size() + 1));
    };
    for (const auto& [path, content] : files)
        if (fs::path(path).filename() == "ProfileList.ini") number(content);
    for (const auto& [path, content] : files) number(path), number(content);
    const auto replaced = [&names](std::string text) {
        for (const auto& [id, name] : names)
            for (size_t at = text.find(id); at != std::string::npos; at = text.find(id, at)) text.replace(at, id.size(), name);
        return text;
    };
    Files result;
    for (const auto& [path, content] : files) result[replaced(path)] = replaced(content);
    return result;
}

Files FilesUnder(const std::string& folder) { return test::TempFolder::FilesUnder(folder); }

std::vector<std::string> Words(const std::string& line, const std::string& folder) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        std::replace(word.begin(), word.end(), '~', ' ');
        if (word.rfind("@/", 0) == 0) word = folder + word.substr(2);
        words.push_back(word);
    }
    return words;
}

struct Played {
    std::string trace;
    Files files;
};

class GoldenTrace : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override { ASSERT_TRUE(english.Load(GetInstallFolder() + "skin/lang/en.json")); }

    static size_t Reachable(HeadlessSession& session) {
        const auto devices = session.Devices();
        return static_cast<size_t>(std::count_if(devices.begin(), devices.end(),
                                                 [&session](CVantrelUSBDevice* device) { return session.Reachable(device); }));
    }
    static bool FirstReadsDone(HeadlessSession& session) {
        const auto devices = session.Devices();
        return std::all_of(devices.begin(), devices.end(), [&session](CVantrelUSBDevice* device) {
            return !session.Reachable(device) || device->FirstReadDone();
        });
    }
    // The session's time runs in its own steps until the condition holds: the
    // first read runs on the session's timer, so the steps taken, and the
    // traffic, are the same on every run.
    template <typename Condition>
    static void RunUntil(HeadlessSession& session, Condition condition) {
        ASSERT_TRUE(test::Eventually([&] {
            session.Run(50);
            return condition();
        }));
    }
    // Every product plugged is found and read.
    static void Settle(HeadlessSession& session, size_t products) {
        RunUntil(session, [&] { return Reachable(session) == products && FirstReadsDone(session); });
    }

    Played Play(const Scenario& scenario) {
        test::TempFolder folder;
        const std::string data = folder.File("data/M470/");
        WriteMacros(data, scenario.plugged);
        Played played;
        VirtualDeviceHub hub;
        hub.PlugAll(scenario.plugged);
        auto session = std::make_unique<HeadlessSession>(hub.Backend(), english);
        EXPECT_TRUE(session->Start());
        size_t products = scenario.plugged.size();
        Settle(*session, products);
        played.trace = "# start\n" + TakeTraffic(hub);
        for (const std::string& step : scenario.steps) {
            std::string answer;
            if (step.rfind("ctl ", 0) == 0) {
                const Reply reply = CtlExecutor(*session, english).Run(Words(step.substr(4), folder.Path()));
                answer = "exit " + std::to_string(reply.exitCode) + "\n" + reply.out + reply.err;
            } else if (step.rfind("unplug ", 0) == 0) {
                EXPECT_EQ(hub.RunCommand(step), "");
                RunUntil(*session, [&] { return Reachable(*session) == products - 1; });
                --products;
            } else {
                EXPECT_EQ(hub.RunCommand(step), "") << step;
                Settle(*session, ++products);
            }
            // The temporary folder's name is no part of the answer.
            for (size_t at = answer.find(folder.Path()); at != std::string::npos; at = answer.find(folder.Path()))
                answer.replace(at, folder.Path().size(), "@/");
            played.trace += "# " + step + "\n" + answer + TakeTraffic(hub);
        }
        session.reset();
        played.trace += "# end\n" + TakeTraffic(hub);
        played.files = Normalised(FilesUnder(data));
        return played;
    }

    LanguageTable english;
};

bool Updating() {
    const char* update = std::getenv("M470_GOLDEN_UPDATE");
    return update != nullptr && std::string(update) == "1";
}

// Large files most scenarios write alike (the recoil data, factory profiles)
// are kept once, under shared/, named by their content; a scenario's files/
// holds "PATH.shared" with that name instead.
const std::string kSharedFolder = kGoldenFolder + "shared/";
constexpr size_t kSharedFromBytes = 4096;
const std::string kSharedSuffix = ".shared";

std::string ContentName(const std::string& path, const std::string& content) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same name on every machine
    for (unsigned char c : content) hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(hex) + "-" + fs::path(path).filename().string();
}

Files GoldenFiles(const std::string& folder) {
    Files files;
    for (auto& [path, content] : FilesUnder(folder)) {
        const bool shared = path.size() > kSharedSuffix.size() && path.ends_with(kSharedSuffix);
        if (shared) files[path.substr(0, path.size() - kSharedSuffix.size())] = test::TempFolder::ReadFile(kSharedFolder + content);
        else files[path] = std::move(content);
    }
    return files;
}

void WriteGolden(const Scenario& scenario, const Played& played) {
    const std::string base = kGoldenFolder + scenario.name;
    fs::remove_all(base);
    WriteFile(base + "/traffic.txt", played.trace);
    for (const auto& [path, content] : played.files) {
        if (content.size() < kSharedFromBytes) {
            WriteFile(base + "/files/" + path, content);
            continue;
        }
        const std::string name = ContentName(path, content);
        WriteFile(kSharedFolder + name, content);
        WriteFile(base + "/files/" + path + kSharedSuffix, name);
    }
}

// The first line where two texts differ, told with its number and both versions.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    std::istringstream a(expected), b(actual);
    std::string lineA, lineB;
    for (int number = 1;; ++number) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA)), moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB) return "they differ only in the end of the last line";
        if (!moreA || !moreB || lineA != lineB)
            return "line " + std::to_string(number) + ":\n  golden: " + (moreA ? lineA : "<end>") + "\n  now:    " +
                   (moreB ? lineB : "<end>");
    }
}

void Compare(const std::string& what, const std::string& golden, const std::string& now, int& failures) {
    if (golden == now) return;
    ADD_FAILURE() << what << " differs at " << FirstDifference(golden, now);
    ++failures;
}

TEST_P(GoldenTrace, SendsAndWritesWhatItsGoldenFilesHold) {
    const Scenario& scenario = GetParam();
    const Played first = Play(scenario);
    // Played again from the start, a scenario leaves the same trace: nothing in it hangs on timing.
    const Played second = Play(scenario);
    int failures = 0;
    Compare(std::string(scenario.name) + " (second run against the first) traffic.txt", first.trace, second.trace, failures);
    ASSERT_EQ(failures, 0);
    ASSERT_EQ(first.files, second.files) << scenario.name << ": the second run wrote other files";
    if (Updating()) {
        WriteGolden(scenario, first);
        return;
    }
    const std::string base = kGoldenFolder + scenario.name;
    ASSERT_TRUE(fs::exists(base + "/traffic.txt")) << base << " is missing: run with M470_GOLDEN_UPDATE=1 to make it";
    Compare(std::string(scenario.name) + "/traffic.txt", test::TempFolder::ReadFile(base + "/traffic.txt"), first.trace, failures);
    const Files golden = GoldenFiles(base + "/files");
    for (const auto& [path, content] : first.files) {
        const auto kept = golden.find(path);
        if (kept == golden.end()) ADD_FAILURE() << scenario.name << "/files/" << path << " is written now, not in the golden files";
        else Compare(std::string(scenario.name) + "/files/" + path, kept->second, content, failures);
    }
    for (const auto& [path, content] : golden)
        if (first.files.count(path) == 0) ADD_FAILURE() << scenario.name << "/files/" << path << " is no longer written";
}

// A shared file no scenario names any more (left by an update) is removed
// with the change that stopped writing it.
TEST(GoldenTraceFiles, EveryKeptFileIsNamedByAScenario) {
    std::set<std::string> named;
    for (const auto& entry : fs::recursive_directory_iterator(kGoldenFolder))
        if (entry.is_regular_file() && entry.path().string().ends_with(kSharedSuffix))
            named.insert(test::TempFolder::ReadFile(entry.path().string()));
    for (const auto& [name, content] : FilesUnder(kSharedFolder))
        EXPECT_EQ(named.count(name), 1u) << "tests/golden/data/shared/" << name << " is named by no scenario: remove it";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GoldenTrace, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace m470::ctl
