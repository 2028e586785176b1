#pragma once
// The sensitivity stages of a product with a sensor (the mouse): up to six
// stages on the sensor's scale, one of them active. A device reports it as
// its `stages` capability.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/MouseProfiledata.h"
#include "devices/SensitivityScale.h"

namespace m470 {

class SensitivityStages {
public:
    static constexpr size_t kMaxStages = 6;
    virtual ~SensitivityStages() = default;
    virtual const std::vector<DpiStage>& Stages() const = 0;
    virtual int ActiveStage() const = 0;
    // false when the stage is not one of the model's.
    virtual bool SetStageEnabled(size_t stage, bool enabled) = 0;
    // Any of the six stages; the position is clamped to the scale.
    virtual void SetStagePosition(size_t stage, int position) = 0;
    virtual void SetActiveStage(int stage) = 0;
    // The stage's colour (0xRRGGBB) in the model; false when the stage is not one of its.
    virtual bool SetStageColour(size_t stage, uint32_t rgb) = 0;
    // The stages stored in the profile, saved and written to the device; the write's result.
    virtual int CommitStages() = 0;
    // The sensor's scale of sensitivities.
    virtual SensitivityScale Scale() const = 0;
};

}  // namespace m470
