#include "pages/ProductNews.h"

#include <array>

#include "platform/Text.h"

namespace m470 {
namespace {

struct LowBatteryStep {
    int atMost;  // percent
    const char* summaryKey;
    const char* bodyKey;
    NoteUrgency urgency;
};
// Shallow to deep: a read that falls past both at once tells only the deeper.
constexpr std::array<LowBatteryStep, 2> kLowBatterySteps{{
    {15, "news_battery_low_title", "news_battery_low_text", NoteUrgency::Normal},
    {5, "news_battery_empty_title", "news_battery_empty_text", NoteUrgency::Critical},
}};
// A step is told again only after the level rose this far above it: a level
// that wavers between 15 % and 16 % is one crossing, not one per read.
constexpr int kRearmMargin = 5;
constexpr uint8_t kOnBattery = 2;

int DeepestStepReached(int level) {
    int deepest = -1;
    for (size_t i = 0; i < kLowBatterySteps.size(); ++i)
        if (level <= kLowBatterySteps[i].atMost) deepest = static_cast<int>(i);
    return deepest;
}

}  // namespace

void CProductNews::PowerRead(int product, const std::string& name, const uint8_t* status, size_t length) {
    if (status == nullptr || length < 2 || status[0] > 100) return;
    const int level = status[0];
    Watch& watch = watched_[product];
    while (watch.lowStep >= 0 && level >= kLowBatterySteps[static_cast<size_t>(watch.lowStep)].atMost + kRearmMargin)
        --watch.lowStep;
    // Charging or on the cable: nothing to warn about, and nothing counted as told.
    if (status[1] != kOnBattery) return;
    const int reached = DeepestStepReached(level);
    if (reached <= watch.lowStep) return;
    watch.lowStep = reached;
    // Switched off, the crossing still counts: switching on later does not tell an old one.
    if (!choices_.battery) return;
    const LowBatteryStep& step = kLowBatterySteps[static_cast<size_t>(reached)];
    Tell(product, name, step.summaryKey, step.bodyKey, std::to_string(level), step.urgency);
}

void CProductNews::LinkChanged(int product, const std::string& name, bool up) {
    Watch& watch = watched_[product];
    const bool first = !watch.linked.has_value();
    if (watch.linked == up) return;
    watch.linked = up;
    if (first || !choices_.link) return;
    if (up) Tell(product, name, "news_link_up_title", "news_link_up_text", {}, NoteUrgency::Low);
    else Tell(product, name, "news_link_down_title", "news_link_down_text", {}, NoteUrgency::Normal);
}

void CProductNews::Tell(int product, const std::string& name, const char* summaryKey, const char* bodyKey,
                        const std::string& number, NoteUrgency urgency) {
    if (!sink_) return;
    const auto text = [this](const char* key) { return translate_ ? translate_(key) : std::string(key); };
    sink_({product, FillPlaceholders(text(summaryKey), {name}), FillPlaceholders(text(bodyKey), {number}), urgency});
}

}  // namespace m470
