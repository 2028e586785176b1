#pragma once
// The window's end of the capture socket: connect and register, start and
// stop the frames, send the style colour, and read what the capture program
// sends. Used on one thread (the window's); the descriptor is for its
// readiness watch.
#include <functional>
#include <string>

#include "music/CaptureProtocol.h"

namespace m470 {

class CaptureClient {
public:
    // socketPath empty: the capture socket of the user's private folder.
    explicit CaptureClient(std::string socketPath = {});
    ~CaptureClient();
    CaptureClient(const CaptureClient&) = delete;
    CaptureClient& operator=(const CaptureClient&) = delete;

    // Finds the capture program anew (the old connection is dropped) and,
    // when it answers, registers, opens its sound stream and starts it.
    bool ConnectCapture();
    // Finds it anew and, when it answers, stops, unregisters and ends it.
    bool DisconnectCapture();
    // The style colour, when connected (a stale connection is dropped).
    bool SendStyle(const std::array<int32_t, 3>& rgb);

    bool Connected() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Reads what has arrived, hands every data frame to onFrame; a hang-up or
    // a bad frame closes the connection.
    void ReadAvailable(const std::function<void(const CaptureFrame&)>& onFrame);
    void Close();

private:
    bool Find();
    bool Send(const CaptureFrame& frame);

    std::string path_;
    int fd_ = -1;
    FrameDecoder decoder_;
};

// The 40-byte style frame: R, G, B as three 32-bit values, the rest zero.
CaptureFrame StyleFrame(const std::array<int32_t, 3>& rgb);

}  // namespace m470
