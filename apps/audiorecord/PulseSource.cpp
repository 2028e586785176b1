#include "PulseSource.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace m470 {

PulseSource::~PulseSource() { Close(); }

bool PulseSource::Open(std::string& why) {
    Close();
    const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(kCaptureRate), kCaptureChannels};
    // Small fragments: a frame should leave as soon as its hop is captured.
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<uint32_t>(-1);
    buffer.fragsize = static_cast<uint32_t>(kHopFrames * kCaptureChannels * sizeof(int16_t));
    int error = 0;
    stream_ = pa_simple_new(nullptr, "M470", PA_STREAM_RECORD, "@DEFAULT_MONITOR@", "lighting", &format, nullptr,
                            &buffer, &error);
    if (stream_ == nullptr) why = pa_strerror(error);
    return stream_ != nullptr;
}

bool PulseSource::Read(int16_t* interleaved, const StopEvent&) {
    // One hop is about 10 ms of sound, so a stop is seen within that.
    int error = 0;
    return stream_ != nullptr &&
           pa_simple_read(stream_, interleaved, kHopFrames * kCaptureChannels * sizeof(int16_t), &error) >= 0;
}

void PulseSource::Close() {
    if (stream_ != nullptr) pa_simple_free(stream_);
    stream_ = nullptr;
}

}  // namespace m470
