// Bytes on the capture socket, as either end reads them. The first byte
// sets how the stream is cut into reads, the rest is the stream. Fed to a
// decoder read by read, the frames are exactly those before the first header
// with an unknown kind or a length above the limit, the decoder then stays
// broken, and nothing is read past a read's bytes. The window's connection
// hands over the same data frames and is dropped at a bad header or when the
// peer hangs up; each frame then feeds the spectrum and band handling.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "FuzzSupport.h"
#include "music/CaptureClient.h"
#include "music/CaptureLink.h"
#include "music/CaptureProtocol.h"
#include "music/SpectrumProcessing.h"

using namespace m470;

namespace {

uint32_t Word(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// The frames of a stream read in one piece, walked by this harness itself.
struct Walk {
    std::vector<CaptureFrame> frames;
    size_t used = 0;
    bool broken = false;
};

Walk WalkStream(const uint8_t* stream, size_t size) {
    Walk walk;
    while (size - walk.used >= kFrameHeaderBytes) {
        const uint8_t* header = stream + walk.used;
        const uint32_t kind = Word(header);
        const uint32_t length = Word(header + 8);
        if ((kind != 1 && kind != 2) || length > kMaxFrameData) {
            walk.broken = true;
            break;
        }
        if (size - walk.used - kFrameHeaderBytes < length) break;
        walk.frames.push_back({static_cast<FrameKind>(kind), static_cast<int32_t>(Word(header + 4)),
                               {header + kFrameHeaderBytes, header + kFrameHeaderBytes + length}});
        walk.used += kFrameHeaderBytes + length;
    }
    return walk;
}

void CheckDecoder(const uint8_t* stream, size_t size, size_t step, const Walk& walk) {
    FrameDecoder decoder;
    std::vector<CaptureFrame> frames;
    bool open = true;
    for (size_t at = 0; at < size; at += step) {
        // Each read in a buffer of its own size, so a read past it is reported.
        const std::vector<uint8_t> read(stream + at, stream + std::min(size, at + step));
        const size_t before = frames.size();
        const bool fed = decoder.Feed(read.data(), read.size(), frames);
        if (!open && (fed || frames.size() != before)) fuzz::Fail("a broken decoder took more bytes");
        open = fed;
        if (open && decoder.Pending() >= kFrameHeaderBytes + kMaxFrameData)
            fuzz::Fail("the decoder holds more than one frame");
    }
    if (frames != walk.frames) fuzz::Fail("the decoder gave other frames than the stream holds");
    if (open == walk.broken || decoder.Broken() != walk.broken) fuzz::Fail("a bad header did not break the decoder");
    if (!walk.broken && decoder.Pending() != size - walk.used) fuzz::Fail("the decoder lost or kept bytes");
    std::vector<uint8_t> encoded;
    for (const CaptureFrame& frame : frames) {
        const std::vector<uint8_t> one = EncodeFrame(frame);
        encoded.insert(encoded.end(), one.begin(), one.end());
    }
    if (encoded.size() != walk.used || !std::equal(encoded.begin(), encoded.end(), stream))
        fuzz::Fail("the frames do not encode back to their bytes");
}

// The window's connection: a listening socket of the scratch folder, kept
// for the whole run; every input is one peer that sends the stream and goes.
int Listener() {
    static const int fd = [] {
        std::string why;
        const int made = ListenLocalSocket(fuzz::ScratchFolder() + "capture", why);
        if (made < 0) fuzz::Fail("no capture socket to listen on");
        return made;
    }();
    return fd;
}

// What one frame gives the devices: only to those present, band values the frame's own.
void CheckDelivery(const CaptureFrame& frame, const CaptureDelivery& delivery, PresentPaths present) {
    if (delivery.keyboardBands) {
        if (frame.parameter != kBandData || present.keyboards == 0) fuzz::Fail("bands went to no keyboard");
        for (size_t i = 0; i < kBandValues; ++i) {
            const bool held = 4 * i + 4 <= frame.data.size();
            if ((*delivery.keyboardBands)[i] != (held ? static_cast<int32_t>(Word(&frame.data[4 * i])) : 0))
                fuzz::Fail("a band value is not the frame's");
        }
    }
    if ((delivery.spectrum.keyboard && present.keyboards == 0) || (delivery.spectrum.mouse && present.mice == 0))
        fuzz::Fail("a spectrum went to no device");
    for (int32_t band : delivery.spectrum.keyboard.value_or(std::array<int32_t, kKeyboardGroups>{}))
        if (band < 0) fuzz::Fail("a negative keyboard band");
}

void CheckWindow(const uint8_t* stream, size_t size, uint8_t paths, const Walk& walk) {
    const int listener = Listener();
    CaptureClient client(fuzz::ScratchFolder() + "capture");
    if (!client.ConnectCapture()) fuzz::Fail("the window could not connect");
    const int peer = ::accept(listener, nullptr, nullptr);
    if (peer < 0) fuzz::Fail("the connection was not accepted");
    // What the window sent first: register, open, start.
    uint8_t hello[3 * kFrameHeaderBytes];
    if (::recv(peer, hello, sizeof hello, MSG_DONTWAIT) != static_cast<ssize_t>(sizeof hello))
        fuzz::Fail("the window did not register");
    if (size > 0 && ::send(peer, stream, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        fuzz::Fail("the stream did not fit the socket");
    ::close(peer);

    SpectrumState state;
    const PresentPaths present{paths & 3, (paths >> 2) & 3};
    std::vector<CaptureFrame> handed;
    for (int reads = 0; client.Connected() && reads < 64; ++reads)
        client.ReadAvailable([&](const CaptureFrame& frame) {
            handed.push_back(frame);
            CheckDelivery(frame, HandleCaptureFrame(state, frame, present), present);
        });
    if (client.Connected()) fuzz::Fail("the window kept a connection its peer hung up");
    std::vector<CaptureFrame> expected;
    for (const CaptureFrame& frame : walk.frames)
        if (frame.kind == FrameKind::Data && !frame.data.empty()) expected.push_back(frame);
    if (handed != expected) fuzz::Fail("the window was handed other frames than were sent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    if (size == 0) return 0;
    // 1 to 64 bytes a read, or the whole stream at once.
    const size_t step = bytes[0] >= 0xC0 ? size : (bytes[0] & 0x3F) + 1;
    const uint8_t* stream = bytes + 1;
    const size_t length = size - 1;
    const Walk walk = WalkStream(stream, length);
    CheckDecoder(stream, length, step, walk);
    CheckWindow(stream, length, bytes[0], walk);
    return 0;
}
