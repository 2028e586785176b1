#pragma once
// Recording into a macro's rows: captured keys and mouse buttons become
// events appended, inserted before or after the selected row, or replacing
// it, with their delays by one of three timings.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "macros/DeviceHook.h"
#include "macros/MacroEvent.h"

namespace m470 {

enum class RecordTiming { Recorded = 1, Constant = 2, Ignored = 3 };
enum class RecordPlace { Append, Before, After, Replace };

// The place of a hook mode (kRecord, kInsertBefore, kInsertAfter, kReplace).
std::optional<RecordPlace> PlaceOfMode(int mode);

inline constexpr uint16_t kDefaultConstantDelay = 50;

struct MacroRows {
    std::vector<MacroEvent> events;
    int selected = -1;
};

// Milliseconds of a steady clock: wall-clock changes do not make delays.
uint64_t SteadyMilliseconds();

// The event of a captured key (Type 10 with its usage, or 9 with its
// modifier bit); none for a key no table row knows.
std::optional<MacroEvent> KeyEvent(const CapturedKey& key);
// The event of a mouse button press or release (Type 1); none for others.
std::optional<MacroEvent> ButtonEvent(const CapturedButton& button);

class MacroRecorder {
public:
    using Clock = std::function<uint64_t()>;
    explicit MacroRecorder(Clock clock = SteadyMilliseconds) : clock_(std::move(clock)) {}

    void Start(RecordTiming timing, uint16_t constantDelay);
    void Stop() { recording_ = false; }
    bool Recording() const { return recording_; }
    RecordTiming Timing() const { return timing_; }
    // The last constant taken at a start; also the delay of inserted mouse events.
    uint16_t ConstantDelay() const { return constant_; }

    // True when the rows changed.
    bool Key(MacroRows& rows, RecordPlace place, const CapturedKey& key);
    bool Button(MacroRows& rows, RecordPlace place, const CapturedButton& button, const ScreenRect& stopButton);

private:
    bool Place(MacroRows& rows, RecordPlace place, const MacroEvent& event, bool keyEvent);
    uint16_t NextDelay();

    Clock clock_;
    bool recording_ = false;
    RecordTiming timing_ = RecordTiming::Recorded;
    uint16_t constant_ = kDefaultConstantDelay;
    uint64_t lastEvent_ = 0;
    bool recordedBefore_ = false;
    // Auto-repeat memories, one per place: the held key, the last mouse message.
    std::array<std::optional<uint16_t>, 4> heldKey_{};
    std::array<std::optional<uint32_t>, 4> lastButton_{};
};

}  // namespace m470
