#pragma once
// What a typed change of a page's setting gives back. The window's controls,
// m470ctl and the socket requests all change a setting through the panel
// that owns it, so its range and its rules are checked in one place; each
// client tells a refusal in its own words.
#include <string>
#include <utility>
#include <vector>

namespace m470 {

// The values a numeric setting takes.
struct ValueRange {
    int low = 0;
    int high = -1;  // below low: nothing is in range
    bool Holds(int value) const { return value >= low && value <= high; }
};

enum class SettingStatus {
    Done,
    OutOfRange,        // range: what is taken
    NoChoice,          // choices: what is taken
    NotNow,            // the lighting mode does not take it; mode: its language key, when one is known
    ActiveStageStays,  // the active stage cannot leave the cycle
    StageOff,          // a stage out of the cycle cannot be the active one
    ProfileUnreadable, // the key is left as it is: the profile file cannot be read
    LastLeftButton,    // the mouse keeps a left button
    NoSuchIndex,       // no such stage or key
};

struct SettingOutcome {
    SettingStatus status = SettingStatus::Done;
    ValueRange range{};
    std::vector<int> choices;
    std::string mode;

    bool Done() const { return status == SettingStatus::Done; }
    static SettingOutcome Ok() { return {}; }
    static SettingOutcome Refused(SettingStatus status) { return {status, {}, {}, {}}; }
    static SettingOutcome Outside(ValueRange range) { return {SettingStatus::OutOfRange, range, {}, {}}; }
    static SettingOutcome OneOf(std::vector<int> choices) { return {SettingStatus::NoChoice, {}, std::move(choices), {}}; }
    static SettingOutcome NotTaken(std::string modeKey) { return {SettingStatus::NotNow, {}, {}, std::move(modeKey)}; }
};

}  // namespace m470
