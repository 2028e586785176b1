#include "profiles/ProfileRecords.h"

namespace m470 {

std::array<uint8_t, LightInfo::kSize> LightInfo::ToBytes() const {
    return {selectItem, light,    speed,    fx,          multiColor,  red,       green,
            blue,       extra[0], extra[1], extra[2], zzccLedMode, customGroup, oldLedmode};
}

LightInfo LightInfo::FromBytes(const std::array<uint8_t, kSize>& b) {
    LightInfo info;
    info.selectItem = b[0];
    info.light = b[1];
    info.speed = b[2];
    info.fx = b[3];
    info.multiColor = b[4];
    info.red = b[5];
    info.green = b[6];
    info.blue = b[7];
    info.extra = {b[8], b[9], b[10]};
    info.zzccLedMode = b[11];
    info.customGroup = b[12];
    info.oldLedmode = b[13];
    return info;
}

std::array<uint32_t, 3> LightInfo::Words() const {
    const auto bytes = ToBytes();
    std::array<uint32_t, 3> words{};
    for (size_t i = 0; i < 12; ++i) words[i / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (i % 4));
    return words;
}

uint16_t LightInfo::HalfWord() const { return static_cast<uint16_t>(customGroup | oldLedmode << 8); }

LightInfo LightInfo::FromWords(const std::array<uint32_t, 3>& words, uint16_t half) {
    std::array<uint8_t, kSize> bytes{};
    for (size_t i = 0; i < 12; ++i) bytes[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
    bytes[12] = static_cast<uint8_t>(half);
    bytes[13] = static_cast<uint8_t>(half >> 8);
    return FromBytes(bytes);
}

}  // namespace m470
