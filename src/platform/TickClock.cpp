#include "platform/TickClock.h"

namespace m470 {
namespace {

using std::chrono::steady_clock;
constexpr uint64_t kMicrosecondsPerTick = 15625;  // 1 s / 64

}  // namespace

uint64_t SystemTickClock::Ticks() const {
    const auto since = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now().time_since_epoch());
    return static_cast<uint64_t>(since.count()) / kMicrosecondsPerTick;
}

TickClock::TimePoint SystemTickClock::TimeOfTick(uint64_t tick) const {
    return TimePoint(std::chrono::microseconds(tick * kMicrosecondsPerTick));
}

uint64_t ManualTickClock::Ticks() const {
    std::lock_guard lock(mutex_);
    return microseconds_ / kMicrosecondsPerTick;
}

TickClock::TimePoint ManualTickClock::TimeOfTick(uint64_t) const { return TimePoint{}; }

void ManualTickClock::Set(uint64_t ticks) {
    std::lock_guard lock(mutex_);
    microseconds_ = ticks * kMicrosecondsPerTick;
}

void ManualTickClock::Advance(uint64_t ticks) {
    std::lock_guard lock(mutex_);
    microseconds_ += ticks * kMicrosecondsPerTick;
}

void ManualTickClock::AdvanceMilliseconds(uint64_t milliseconds) {
    std::lock_guard lock(mutex_);
    microseconds_ += milliseconds * 1000;
}

std::shared_ptr<const TickClock> SharedTickClock() {
    static const auto clock = std::make_shared<SystemTickClock>();
    return clock;
}

}  // namespace m470
