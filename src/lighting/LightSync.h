#pragma once
// The synchronisation worker: every device in same mode shows one shared
// effect, stepped in one place so that all of them change in step.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "devices/LedFrame.h"
#include "platform/StoppableThread.h"
#include "lighting/SameMode.h"

namespace m470 {

class CVantrelUSBDevice;

// The phases of the shared effect; they carry over from one synchronisation to the next.
struct SyncPhases {
    uint8_t breath = 0, colourIndex = 0, cycle = 0, blinkColour = 0;
    bool blinkOn = false;
    uint64_t lastToggleMs = 0;
};

// One step of a shared effect: the entry every synchronised LED gets.
LedEntry StepSharedEffect(const SharedLighting& shared, SyncPhases& phases, uint64_t nowMs);

class CLightSync {
public:
    using Clock = std::function<uint64_t()>;  // the millisecond tick count (the shared 64 Hz clock by default)
    explicit CLightSync(Clock clock = {});

    // Both from the UI thread; the worker reads copies. Either wakes a
    // worker that rests because no device is synchronised.
    void SetShared(const SharedLighting& shared);
    void SetDevices(std::vector<CVantrelUSBDevice*> devices);

    // The worker body: paces the steps until stop is set.
    void Run(const StopEvent& stop);
    // One counted tick of the loop; true when a step ran. For the worker and tests.
    bool Tick(uint64_t nowMs);
    SyncPhases Phases() const;
    // True while the worker rests until SetShared or SetDevices (no device is synchronised).
    bool Resting() const;

private:
    std::vector<CVantrelUSBDevice*> SynchronisedDevices() const;
    enum class Wait { Step, Look, Rest };
    Wait NextWait() const;
    void WakeWorker();

    Clock clock_;
    mutable std::mutex mutex_;
    SharedLighting shared_;
    std::vector<CVantrelUSBDevice*> devices_;
    SyncPhases phases_;
    uint64_t lastTick_ = 0;
    int counter_ = 0;
    const StopEvent* worker_ = nullptr;  // the running worker's event, to wake it
    bool resting_ = false;
};

}  // namespace m470
