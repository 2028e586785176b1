#pragma once
// The OpenRGB SDK server's switch as registry.json keeps it: off unless
// switched on, on the port its clients try first unless another is set.
#include <cstdint>

#include "platform/Registry.h"

namespace m470::ctl {

inline constexpr const char* kSdkValue = "OPENRGB_SDK";
inline constexpr const char* kSdkPortValue = "OPENRGB_SDK_PORT";
inline constexpr uint16_t kSdkDefaultPort = 6742;

struct SdkSetting {
    bool on = false;
    uint16_t port = kSdkDefaultPort;
};

// A port that is no number from 1 to 65535 counts as the default one.
SdkSetting ReadSdkSetting(const RegistryStore& registry);
bool WriteSdkOn(RegistryStore& registry, bool on);

}  // namespace m470::ctl
