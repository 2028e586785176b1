#include "lighting/LightSync.h"

#include <chrono>

#include "devices/LightingSteps.h"
#include "devices/LightingTables.h"
#include "devices/VantrelUSBDevice.h"
#include "platform/DebugTrace.h"
#include "platform/TickClock.h"

namespace m470 {
namespace {

constexpr uint8_t kWheel = 192;

uint8_t Level(uint8_t brightness) { return kBrightnessScale[brightness > 4 ? 4 : brightness]; }
LedEntry Entry(Rgb colour, uint8_t level) { return {colour.red, colour.green, colour.blue, level}; }
Rgb SharedColour(const SharedLighting& shared) { return {shared.red, shared.green, shared.blue}; }

// The shared 64 Hz clock in milliseconds: a step per 15.625 ms tick.
uint64_t TickMs() { return SharedTickClock()->Milliseconds(); }

}  // namespace

LedEntry StepSharedEffect(const SharedLighting& shared, SyncPhases& phases, uint64_t nowMs) {
    const uint8_t speed = shared.speed > 4 ? 4 : shared.speed;
    switch (shared.effect) {
        case SharedEffect::Breathing: {
            phases.breath = PhaseStep(shared.direction, 128, phases.breath, 1);
            Rgb colour = SharedColour(shared);
            if (shared.sevenColour != 0) {
                if (phases.breath < 2) phases.colourIndex = PhaseStep(1, kWheel, phases.colourIndex, 16);
                colour = kColourWheel[phases.colourIndex];
            }
            return Entry(colour, static_cast<uint8_t>(Level(shared.brightness) * kBreathCurve[phases.breath] / 256));
        }
        case SharedEffect::Static:
            return Entry(SharedColour(shared), Level(shared.brightness));
        case SharedEffect::Blink: {
            if (nowMs - phases.lastToggleMs >= 200u * kStepThreshold[speed]) {
                phases.blinkOn = !phases.blinkOn;
                phases.lastToggleMs = nowMs;
                phases.blinkColour = static_cast<uint8_t>(phases.blinkColour + 14 >= kWheel ? 0 : phases.blinkColour + 14);
            }
            if (!phases.blinkOn) return {};
            return Entry(shared.sevenColour != 0 ? kColourWheel[phases.blinkColour] : SharedColour(shared), Level(shared.brightness));
        }
        case SharedEffect::ColourCycle:
            phases.cycle = PhaseStep(1, kWheel, phases.cycle, 1);
            return Entry(kColourWheel[phases.cycle], Level(shared.brightness));
        case SharedEffect::Off:
            return {};
    }
    return {};
}

CLightSync::CLightSync(Clock clock) : clock_(clock ? std::move(clock) : Clock(TickMs)) {}

void CLightSync::SetShared(const SharedLighting& shared) {
    {
        std::lock_guard lock(mutex_);
        shared_ = shared;
    }
    WakeWorker();
}

void CLightSync::SetDevices(std::vector<CVantrelUSBDevice*> devices) {
    {
        std::lock_guard lock(mutex_);
        devices_ = std::move(devices);
    }
    WakeWorker();
}

// Only a resting worker: a wake within a step's wait would count a tick early.
void CLightSync::WakeWorker() {
    std::lock_guard lock(mutex_);
    // The worker holds its event as const; a wake only ends its current wait.
    if (worker_ != nullptr && resting_) const_cast<StopEvent*>(worker_)->Wake();
}

bool CLightSync::Resting() const {
    std::lock_guard lock(mutex_);
    return resting_;
}

// Called with the mutex held.
CLightSync::Wait CLightSync::NextWait() const {
    bool synced = false;
    for (CVantrelUSBDevice* device : devices_) {
        if (!device->Synced()) continue;
        if (device->Transport().Opened()) return Wait::Step;
        synced = true;
    }
    // A device becomes synchronised only with a new shared effect, which
    // wakes the worker; one that is but not open yet is looked at again.
    return synced ? Wait::Look : Wait::Rest;
}

SyncPhases CLightSync::Phases() const {
    std::lock_guard lock(mutex_);
    return phases_;
}

std::vector<CVantrelUSBDevice*> CLightSync::SynchronisedDevices() const {
    std::vector<CVantrelUSBDevice*> synced;
    for (CVantrelUSBDevice* device : devices_)
        if (device->Synced()) synced.push_back(device);
    return synced;
}

bool CLightSync::Tick(uint64_t nowMs) {
    std::lock_guard lock(mutex_);
    // A tick counts when the tick count moved on by more than 1 ms: once per
    // 64 Hz step of the clock.
    if (nowMs - lastTick_ > 1) {
        lastTick_ = nowMs;
        ++counter_;
    }
    if (counter_ < kStepThreshold[shared_.speed > 4 ? 4 : shared_.speed]) return false;
    counter_ = 0;
    if (static_cast<uint8_t>(shared_.effect) > 4) return false;
    const uint32_t entry = StepSharedEffect(shared_, phases_, nowMs).Packed();
    for (CVantrelUSBDevice* device : SynchronisedDevices())
        for (size_t led = 0; led < device->LedCount(); ++led) device->SetLedColour(static_cast<int>(led), entry);
    return true;
}

void CLightSync::Run(const StopEvent& stop) {
    {
        std::lock_guard lock(mutex_);
        lastTick_ = clock_();
        counter_ = 0;
        worker_ = &stop;
    }
    const TickClock& pace = *SharedTickClock();
    for (bool stopped = stop.IsSet(); !stopped;) {
        Wait wait;
        {
            std::lock_guard lock(mutex_);
            wait = NextWait();
            resting_ = wait == Wait::Rest;
        }
        switch (wait) {
            // One counted tick per step of the clock: sleep until the next one.
            case Wait::Step:
                stopped = stop.WaitUntil(pace.TimeOfTick(pace.Ticks() + 1));
                if (!stopped) Tick(clock_());
                break;
            case Wait::Look: stopped = stop.WaitFor(std::chrono::milliseconds(1000)); break;
            case Wait::Rest: stopped = stop.WaitForWake(); break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        worker_ = nullptr;
        resting_ = false;
    }
    DebugTrace::Write("同步灯光线程设定退出");
}

}  // namespace m470
