#pragma once
// Ripples as four bit masks, one byte per line of a layout (bit j for its
// cell j): R1 and R4 travel towards line 0, R2 and R3 towards the last
// line, R1 and R2 move towards cell 0 and R3 and R4 away from it. Shared by
// the mouse's seven lines and the keyboard's 23 columns.
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

// One step of every ripple; all right-hand sides are the values from before
// the call, bits shifted out are lost (8-bit values). Masks is any array of
// bytes or of values that read and assign as bytes.
template <typename Masks>
void ShiftRippleMasks(Masks& r1, Masks& r2, Masks& r3, Masks& r4) {
    constexpr size_t n = std::tuple_size_v<Masks>;
    std::array<uint8_t, n> b1{}, b2{}, b3{}, b4{};
    for (size_t c = 0; c < n; ++c) {
        b1[c] = r1[c];
        b2[c] = r2[c];
        b3[c] = r3[c];
        b4[c] = r4[c];
    }
    for (size_t c = 0; c + 1 < n; ++c) {
        r1[c] = static_cast<uint8_t>((b1[c] >> 1) | b1[c + 1]);
        r4[c] = static_cast<uint8_t>((b4[c] << 1) | b4[c + 1]);
    }
    r1[n - 1] = static_cast<uint8_t>(b1[n - 1] >> 1);
    r4[n - 1] = static_cast<uint8_t>(b4[n - 1] << 1);
    for (size_t c = 1; c < n; ++c) {
        r2[c] = static_cast<uint8_t>((b2[c] >> 1) | b2[c - 1]);
        r3[c] = static_cast<uint8_t>((b3[c] << 1) | b3[c - 1]);
    }
    r2[0] = static_cast<uint8_t>(b2[0] >> 1);
    r3[0] = static_cast<uint8_t>(b3[0] << 1);
}

}  // namespace m470
