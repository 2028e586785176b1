#pragma once
// Command codes (byte 3 of a command report).
#include <cstdint>

namespace m470::command {
inline constexpr uint8_t kBeginConfig = 0x01;
inline constexpr uint8_t kEndConfig = 0x02;
inline constexpr uint8_t kReadDeviceInfo = 0x03;
inline constexpr uint8_t kReadSettings = 0x05;
inline constexpr uint8_t kWriteSettings = 0x06;
inline constexpr uint8_t kReadKeyTable = 0x07;
inline constexpr uint8_t kWriteKeyTable = 0x09;
inline constexpr uint8_t kReadPagedBlock = 0x0A;
inline constexpr uint8_t kWritePagedBlock = 0x0B;
inline constexpr uint8_t kStreamLighting = 0x12;
inline constexpr uint8_t kWriteMacroImage = 0x15;
inline constexpr uint8_t kWriteRecoilImage = 0x17;
inline constexpr uint8_t kReadShort = 0x1A;
inline constexpr uint8_t kReadKeyTableThird = 0x1B;
inline constexpr uint8_t kClaimLighting = 0x1C;
inline constexpr uint8_t kWriteKeyTableSecond = 0x27;
inline constexpr uint8_t kQueryLink = 0xAA;
}  // namespace m470::command
