#include "MixerProperties.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/OsConfApi.h"

namespace m470::osconf {
namespace {

enum class Quantity { Mute, Scalar, Level, MaxLevel, MinLevel, LevelStep };

struct MixerProperty {
    const char* name;
    MixerPath path;
    Quantity quantity;
};

constexpr MixerProperty kMixerProperties[] = {
    {"MuteControl", MixerPath::Capture, Quantity::Mute},
    {"VolumeScalarControl", MixerPath::Capture, Quantity::Scalar},
    {"VolumeControl", MixerPath::Capture, Quantity::Level},
    {"GetMaxVol", MixerPath::Capture, Quantity::MaxLevel},
    {"GetMinVol", MixerPath::Capture, Quantity::MinLevel},
    {"GetVolStep", MixerPath::Capture, Quantity::LevelStep},
    {"AAMuteControl", MixerPath::Monitor, Quantity::Mute},
    {"AAVolumeScalarControl", MixerPath::Monitor, Quantity::Scalar},
    {"AAVolumeControl", MixerPath::Monitor, Quantity::Level},
    {"GetAAMaxVol", MixerPath::Monitor, Quantity::MaxLevel},
    {"GetAAMinVol", MixerPath::Monitor, Quantity::MinLevel},
    {"GetAAVolStep", MixerPath::Monitor, Quantity::LevelStep},
};

const MixerProperty* Find(const std::string& name) {
    for (const MixerProperty& property : kMixerProperties)
        if (name == property.name) return &property;
    return nullptr;
}

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

bool Needs(MixerControls& mixer, const MixerProperty& property) {
    return property.quantity == Quantity::Mute ? mixer.HasSwitch(property.path) : mixer.HasVolume(property.path);
}

std::string FeatureText(MixerControls& mixer, int32_t endpointType) {
    uint32_t word = 0;
    if (endpointType == kCaptureType) {
        if (mixer.HasVolume(MixerPath::Capture)) word |= kHasCaptureVolume;
        if (mixer.HasSwitch(MixerPath::Capture)) word |= kHasCaptureSwitch;
        if (mixer.HasVolume(MixerPath::Monitor)) word |= kHasMonitorVolume;
        if (mixer.HasSwitch(MixerPath::Monitor)) word |= kHasMonitorSwitch;
    }
    std::string text = std::to_string(word);
    text += ",0,0,0,0,0,0";
    return text;
}

bool ReadQuantity(MixerControls& mixer, const MixerProperty& property, std::string& text) {
    long min = 0, max = 0, value = 0;
    switch (property.quantity) {
        case Quantity::Mute: {
            bool on = false;
            if (!mixer.Switch(property.path, on)) return false;
            text.assign(1, on ? '0' : '1');
            return true;
        }
        case Quantity::Scalar:
            if (!mixer.Range(property.path, min, max) || !mixer.Volume(property.path, value)) return false;
            text = Number(max > min ? static_cast<double>(value - min) / static_cast<double>(max - min) : 0.0);
            return true;
        case Quantity::Level:
            if (!mixer.Db(property.path, value)) return false;
            text = Number(value / 100.0);
            return true;
        case Quantity::MaxLevel:
        case Quantity::MinLevel:
            if (!mixer.DbRange(property.path, min, max)) return false;
            text = Number((property.quantity == Quantity::MaxLevel ? max : min) / 100.0);
            return true;
        case Quantity::LevelStep: {
            long dbMin = 0, dbMax = 0;
            if (!mixer.Range(property.path, min, max) || !mixer.DbRange(property.path, dbMin, dbMax)) return false;
            text = Number(max > min ? (dbMax - dbMin) / 100.0 / static_cast<double>(max - min) : 0.0);
            return true;
        }
    }
    return false;
}

int32_t WriteQuantity(MixerControls& mixer, const MixerProperty& property, const void* value) {
    int32_t integer = 0;
    float fraction = 0;
    std::memcpy(&integer, value, sizeof integer);
    std::memcpy(&fraction, value, sizeof fraction);
    long min = 0, max = 0;
    switch (property.quantity) {
        case Quantity::Mute:
            if (integer != 0 && integer != 1) return kOsConfBadArgument;
            return mixer.SetSwitch(property.path, integer == 0) ? kOsConfOk : kOsConfSoundError;
        case Quantity::Scalar:
            if (!(fraction >= 0.0f && fraction <= 1.0f)) return kOsConfBadArgument;  // NaN too
            if (!mixer.Range(property.path, min, max)) return kOsConfSoundError;
            return mixer.SetVolume(property.path, min + std::lround(fraction * static_cast<double>(max - min)))
                       ? kOsConfOk
                       : kOsConfSoundError;
        case Quantity::Level:
            if (!mixer.DbRange(property.path, min, max)) return kOsConfSoundError;
            return mixer.SetDb(property.path, std::clamp(static_cast<long>(integer) * 100, min, max)) ? kOsConfOk
                                                                                                     : kOsConfSoundError;
        default:
            return kOsConfUnsupported;  // ranges are read only
    }
}

}  // namespace

int32_t ReadProperty(MixerControls& mixer, int32_t endpointType, const std::string& name, std::string& text) {
    if (name == "GetSupportFeature") {
        text = FeatureText(mixer, endpointType);
        return kOsConfOk;
    }
    const MixerProperty* property = Find(name);
    if (property == nullptr || endpointType != kCaptureType || !Needs(mixer, *property)) return kOsConfUnsupported;
    return ReadQuantity(mixer, *property, text) ? kOsConfOk : kOsConfSoundError;
}

int32_t WriteProperty(MixerControls& mixer, int32_t endpointType, const std::string& name, const void* value) {
    const MixerProperty* property = Find(name);
    if (property == nullptr || endpointType != kCaptureType || !Needs(mixer, *property)) return kOsConfUnsupported;
    return WriteQuantity(mixer, *property, value);
}

}  // namespace m470::osconf
