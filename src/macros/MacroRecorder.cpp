#include "macros/MacroRecorder.h"

#include <chrono>

#include "keys/KeyTables.h"
#include "macros/MouseEventTable.h"

namespace m470 {
namespace {

size_t Slot(RecordPlace place) { return static_cast<size_t>(place); }

bool IsKeyRow(const MacroEvent& event) {
    return event.type == static_cast<int>(MacroEventType::Key) || event.type == static_cast<int>(MacroEventType::ModifierKey);
}

bool IsButtonRow(const MacroEvent& event) { return event.type == static_cast<int>(MacroEventType::MouseButton); }

}  // namespace

std::optional<RecordPlace> PlaceOfMode(int mode) {
    switch (mode) {
        case hook_mode::kRecord: return RecordPlace::Append;
        case hook_mode::kInsertBefore: return RecordPlace::Before;
        case hook_mode::kInsertAfter: return RecordPlace::After;
        case hook_mode::kReplace: return RecordPlace::Replace;
        default: return std::nullopt;
    }
}

uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::optional<MacroEvent> KeyEvent(const CapturedKey& key) {
    const int row = FindKeyByScanCode(key.scanCode, key.extended);
    if (row < 0) return std::nullopt;
    const KeyTableRow& entry = kKeyTable[static_cast<size_t>(row)];
    MacroEvent event;
    event.down = key.press;
    if (entry.param2 != 0) {
        event.type = static_cast<int>(MacroEventType::Key);
        event.button = entry.param2;
    } else {
        event.type = static_cast<int>(MacroEventType::ModifierKey);
        event.button = entry.param1;
    }
    return event;
}

std::optional<MacroEvent> ButtonEvent(const CapturedButton& button) {
    const int row = FindMouseButtonEvent(button.message, button.extraButton);
    if (row < 0) return std::nullopt;
    const MouseEventRow& entry = kMouseEventTable[static_cast<size_t>(row)];
    MacroEvent event;
    event.type = static_cast<int>(MacroEventType::MouseButton);
    event.button = entry.button;
    event.down = (entry.eventCode & 0x80) != 0;
    return event;
}

void MacroRecorder::Start(RecordTiming timing, uint16_t constantDelay) {
    timing_ = timing;
    if (timing == RecordTiming::Constant) constant_ = constantDelay;
    lastEvent_ = clock_();
    recording_ = true;
    heldKey_ = {};
    lastButton_ = {};
}

uint16_t MacroRecorder::NextDelay() {
    switch (timing_) {
        case RecordTiming::Constant: return constant_;
        case RecordTiming::Ignored: return 0;
        case RecordTiming::Recorded: break;
    }
    const uint64_t now = clock_();
    const uint64_t elapsed = now >= lastEvent_ ? now - lastEvent_ : 0;
    lastEvent_ = now;
    return SaturateDelay(elapsed);
}

bool MacroRecorder::Key(MacroRows& rows, RecordPlace place, const CapturedKey& key) {
    // Held keys repeat their press: only the first press and the release count.
    std::optional<uint16_t>& held = heldKey_[Slot(place)];
    const uint16_t code = static_cast<uint16_t>((key.scanCode & 0xFF) | (key.extended ? 0x100 : 0));
    if (key.press) {
        if (held == code) return false;
        held = code;
    } else if (held == code) {
        held.reset();
    }
    const std::optional<MacroEvent> event = KeyEvent(key);
    return event && Place(rows, place, *event, true);
}

bool MacroRecorder::Button(MacroRows& rows, RecordPlace place, const CapturedButton& button, const ScreenRect& stopButton) {
    const std::optional<MacroEvent> event = ButtonEvent(button);
    if (!event) return false;
    std::optional<uint32_t>& last = lastButton_[Slot(place)];
    const uint32_t message = static_cast<uint32_t>(button.message) << 8 | static_cast<uint32_t>(event->button);
    if (last == message) return false;
    last = message;
    const bool left = event->button == 0x01;
    if (left && stopButton.Contains(button.x, button.y)) return false;  // ending the recording is not recorded
    return Place(rows, place, *event, false);
}

bool MacroRecorder::Place(MacroRows& rows, RecordPlace place, const MacroEvent& captured, bool keyEvent) {
    const int count = static_cast<int>(rows.events.size());
    const bool selected = rows.selected >= 0 && rows.selected < count;
    if (place == RecordPlace::Replace) {
        if (!selected) return false;
        MacroEvent& row = rows.events[static_cast<size_t>(rows.selected)];
        // A key takes the place of a key, a button that of a button.
        if (keyEvent ? !IsKeyRow(row) : !IsButtonRow(row)) return false;
        row.type = captured.type;
        row.button = captured.button;
        return true;
    }
    if (rows.events.size() >= kMaxMacroEvents) return false;
    if (place != RecordPlace::Append && !selected) return false;
    int at = count;
    if (place == RecordPlace::Before) at = rows.selected;
    if (place == RecordPlace::After) at = rows.selected + 1;

    const uint16_t delay = NextDelay();
    MacroEvent event = captured;
    event.delay = 0;
    if (at > 0) {
        if (timing_ == RecordTiming::Constant) event.delay = delay;
        if (recordedBefore_) rows.events[static_cast<size_t>(at - 1)].delay = delay;
    }
    rows.events.insert(rows.events.begin() + at, event);
    recordedBefore_ = true;
    switch (place) {
        case RecordPlace::Append: rows.selected = at; break;
        case RecordPlace::Before: rows.selected = at + 1; break;
        case RecordPlace::After: rows.selected = at; break;
        case RecordPlace::Replace: break;
    }
    return true;
}

}  // namespace m470
