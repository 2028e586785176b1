#pragma once
// The window's side of a spectrum frame: the change against the previous
// frame, averaged per group of four values into band levels, handed to the
// first keyboard (25 bands) and the first mouse (9 bands) every third frame.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "music/CaptureProtocol.h"

namespace m470 {

inline constexpr size_t kKeyboardGroups = 25;
inline constexpr size_t kMouseGroups = 10;
inline constexpr size_t kMouseBands = 9;  // mouse groups 1-9
inline constexpr uint32_t kDeliveryAfter = 2;  // a counter above this delivers

// Mean and spread of four values into slots kept between frames:
// m = (m + v1 + v2 + v3 + v4) / 4; s = sqrt((s + sum (vi - m)^2) / 3).
// Unsigned throughout; sums too large for a slot saturate instead of wrapping.
struct GroupSlot {
    uint32_t mean = 0;
    uint32_t spread = 0;
};
void GroupStats(const uint32_t* values, GroupSlot& slot);

// How many present device slots run each path this frame (a product by cable
// and through its receiver counts twice).
struct PresentPaths {
    int keyboards = 0;
    int mice = 0;
};

struct SpectrumDelivery {
    std::optional<std::array<int32_t, kKeyboardGroups>> keyboard;
    std::optional<std::array<int32_t, kMouseBands>> mouse;
};

class SpectrumState {
public:
    // A data-type-1 frame: at most kSpectrumBytes are taken; values the frame
    // does not hold keep their previous value.
    SpectrumDelivery ProcessSpectrum(const std::vector<uint8_t>& data, PresentPaths present);

    const std::array<uint32_t, kSpectrumValues>& Differences() const { return difference_; }
    const std::array<GroupSlot, kKeyboardGroups>& KeyboardSlots() const { return keyboard_; }
    const std::array<GroupSlot, kMouseGroups>& MouseSlots() const { return mouse_; }

private:
    template <size_t N>
    void RunGroups(std::array<GroupSlot, N>& slots);

    std::array<int32_t, kSpectrumValues> current_{};
    std::array<int32_t, kSpectrumValues> previous_{};
    std::array<uint32_t, kSpectrumValues> difference_{};
    std::array<GroupSlot, kKeyboardGroups> keyboard_{};
    std::array<GroupSlot, kMouseGroups> mouse_{};
    uint32_t keyboardCounter_ = 0;
    uint32_t mouseCounter_ = 0;
};

// What one frame from the capture program gives the devices: spectrum
// frames (data type 1) band levels, band frames (data type 2, when a
// keyboard is present) the six values; other types, and frames without
// data, nothing.
struct CaptureDelivery {
    SpectrumDelivery spectrum;
    std::optional<std::array<int32_t, kBandValues>> keyboardBands;
};
CaptureDelivery HandleCaptureFrame(SpectrumState& state, const CaptureFrame& frame, PresentPaths present);

// A data-type-2 frame as the six values for the keyboard: the first 24 bytes,
// zeros for what a shorter frame lacks.
std::array<int32_t, kBandValues> BandsFromData(const std::vector<uint8_t>& data);

}  // namespace m470
