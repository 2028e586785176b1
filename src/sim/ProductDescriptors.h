#pragma once
// Report descriptors shaped like the real products' interfaces.
#include <cstdint>
#include <vector>

namespace m470 {

inline constexpr uint8_t kKeyboardReportId = 0x01;
inline constexpr uint8_t kMouseReportId = 0x02;
inline constexpr uint8_t kConsumerReportId = 0x03;
inline constexpr uint8_t kCommandReportIdOfProducts = 0x04;
inline constexpr uint8_t kHeadsetLedReportId = 0xFF;

// Interface 1 of mouse, keyboard, mousepad and receivers: keyboard (1),
// mouse (2), consumer control (3, the notifications) and the vendor command
// collection (4: page 0xFF1C, usage 0x92, report ID 4, 64-byte reports).
std::vector<uint8_t> InterfaceOneDescriptor();

// The headset's interface 3: one consumer-control collection carrying the
// 64-byte command reports (ID 4), the 17-byte LED output reports (ID 0xFF)
// and the consumer notifications (ID 3).
std::vector<uint8_t> HeadsetDescriptor();

}  // namespace m470
