#pragma once
// The library's properties on a mixer: the microphone's mute, volume and
// range on the capture endpoint, the AA* names on the monitor controls.
// Everything else (equaliser, voice changer, environment, surround) is
// unsupported and fails.
#include <cstdint>
#include <string>

#include "MixerControls.h"

namespace m470::osconf {

inline constexpr int32_t kRenderType = 1;
inline constexpr int32_t kCaptureType = 2;
// Bits of item 0 of "GetSupportFeature" on the capture endpoint.
inline constexpr uint32_t kHasCaptureVolume = 0x1, kHasCaptureSwitch = 0x2;
inline constexpr uint32_t kHasMonitorVolume = 0x4, kHasMonitorSwitch = 0x8;

// A read fills text; a write takes the first 4 bytes of value. Results are
// the kOsConf codes.
int32_t ReadProperty(MixerControls& mixer, int32_t endpointType, const std::string& name, std::string& text);
int32_t WriteProperty(MixerControls& mixer, int32_t endpointType, const std::string& name, const void* value);

}  // namespace m470::osconf
