#pragma once
// The keyboard's system settings (key repeat, its delay, the report rate and
// three switches), each a control on its system tab. A device reports them
// as its `keyboardSettings` capability.
#include "devices/keyboard/KeyboardProfiledata.h"

namespace m470 {

enum class KeyboardSetting { Repeat, RepeatDelay, Key6Flag, PollingRate, WFlag, WinFlag };

class KeyboardSettings {
public:
    virtual ~KeyboardSettings() = default;
    virtual KeyboardSystemWords SystemWords() const = 0;
    // A setting chosen on the page: stored, saved and, for the flags and the
    // report rate, written to the keyboard; the write's result.
    virtual int ChangeSetting(KeyboardSetting setting, int value) = 0;
};

}  // namespace m470
