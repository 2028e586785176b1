#include "music/SpectrumProcessing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace m470 {
namespace {

constexpr uint64_t kSlotMax = std::numeric_limits<uint32_t>::max();

uint32_t Saturate(uint64_t value) { return static_cast<uint32_t>(std::min(value, kSlotMax)); }

// The slots are unsigned; a device takes signed band values.
int32_t AsBand(uint32_t value) {
    return static_cast<int32_t>(std::min<uint32_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void GroupStats(const uint32_t* values, GroupSlot& slot) {
    uint64_t sum = slot.mean;
    for (int i = 0; i < 4; ++i) sum += values[i];
    slot.mean = Saturate(sum / 4);
    // Squares of 32-bit distances need the full 64 bits; the sum saturates.
    uint64_t spread = slot.spread;
    for (int i = 0; i < 4; ++i) {
        const uint64_t distance = values[i] > slot.mean ? values[i] - slot.mean : slot.mean - values[i];
        const uint64_t square = distance * distance;
        spread = square > std::numeric_limits<uint64_t>::max() - spread ? std::numeric_limits<uint64_t>::max()
                                                                        : spread + square;
    }
    slot.spread = Saturate(static_cast<uint64_t>(std::sqrt(static_cast<long double>(spread / 3))));
}

template <size_t N>
void SpectrumState::RunGroups(std::array<GroupSlot, N>& slots) {
    // Four values of every run of five; the fifth is not used.
    for (size_t g = 0; g < N; ++g) GroupStats(&difference_[5 * g], slots[g]);
}

SpectrumDelivery SpectrumState::ProcessSpectrum(const std::vector<uint8_t>& data, PresentPaths present) {
    const std::vector<int32_t> values = ReadValues(data, kSpectrumBytes);
    std::copy(values.begin(), values.end(), current_.begin());
    ++keyboardCounter_;
    ++mouseCounter_;
    for (size_t i = 0; i < kSpectrumValues; ++i) {
        const int64_t change = int64_t{current_[i]} - int64_t{previous_[i]};
        difference_[i] = static_cast<uint32_t>(change < 0 ? -change : change);
    }
    previous_ = current_;

    SpectrumDelivery delivery;
    for (int k = 0; k < present.keyboards; ++k) {
        RunGroups(keyboard_);
        if (keyboardCounter_ > kDeliveryAfter) {
            std::array<int32_t, kKeyboardGroups> bands{};
            std::transform(keyboard_.begin(), keyboard_.end(), bands.begin(),
                           [](const GroupSlot& slot) { return AsBand(slot.mean); });
            delivery.keyboard = bands;
            keyboardCounter_ = 0;
        }
    }
    for (int k = 0; k < present.mice; ++k) {
        RunGroups(mouse_);
        if (mouseCounter_ > kDeliveryAfter) {
            std::array<int32_t, kMouseBands> bands{};
            std::transform(mouse_.begin() + 1, mouse_.end(), bands.begin(),
                           [](const GroupSlot& slot) { return AsBand(slot.mean); });
            delivery.mouse = bands;
            mouseCounter_ = 0;
        }
    }
    return delivery;
}

std::array<int32_t, kBandValues> BandsFromData(const std::vector<uint8_t>& data) {
    std::array<int32_t, kBandValues> bands{};
    const std::vector<int32_t> values = ReadValues(data, kBandBytes);
    std::copy(values.begin(), values.end(), bands.begin());
    return bands;
}

CaptureDelivery HandleCaptureFrame(SpectrumState& state, const CaptureFrame& frame, PresentPaths present) {
    CaptureDelivery delivery;
    if (frame.kind != FrameKind::Data || frame.data.empty()) return delivery;
    if (frame.parameter == kSpectrumData) delivery.spectrum = state.ProcessSpectrum(frame.data, present);
    if (frame.parameter == kBandData && present.keyboards > 0) delivery.keyboardBands = BandsFromData(frame.data);
    return delivery;
}

}  // namespace m470
