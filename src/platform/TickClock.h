#pragma once
// The system tick count the lighting is paced by. The original platform's
// tick count moves in 15.625 ms steps (64 Hz) and an effect step is due
// after a number of those steps, so this clock counts 64 Hz ticks; the
// millisecond tick count is the same clock in milliseconds, moving in 15 and
// 16 ms steps. Threads wait for the time of their next due tick instead of
// looking in 1 ms steps. Tests use a ManualTickClock.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

namespace m470 {

class TickClock {
public:
    static constexpr uint64_t kTicksPerSecond = 64;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~TickClock() = default;
    // Whole 64 Hz ticks since the clock's start.
    virtual uint64_t Ticks() const = 0;
    // When tick n begins, as a steady-clock deadline to wait for.
    virtual TimePoint TimeOfTick(uint64_t tick) const = 0;
    // The millisecond tick count of Ticks().
    uint64_t Milliseconds() const { return Ticks() * 1000 / kTicksPerSecond; }
};

// The steady clock seen in 64 Hz ticks.
class SystemTickClock : public TickClock {
public:
    uint64_t Ticks() const override;
    TimePoint TimeOfTick(uint64_t tick) const override;
};

// A clock that moves only when told; waits for a tick it has not reached end
// at once (the deadline is in the past), so loops driven by it never block.
class ManualTickClock : public TickClock {
public:
    uint64_t Ticks() const override;
    TimePoint TimeOfTick(uint64_t tick) const override;
    void Set(uint64_t ticks);
    void Advance(uint64_t ticks);
    // Moves on by a time in milliseconds (rounded down to whole ticks of what
    // has passed in total).
    void AdvanceMilliseconds(uint64_t milliseconds);

private:
    mutable std::mutex mutex_;
    uint64_t microseconds_ = 0;
};

// The clock every device and worker shares unless a test gives its own.
std::shared_ptr<const TickClock> SharedTickClock();

}  // namespace m470
