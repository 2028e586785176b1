#pragma once
// The capture program's side of the socket: holds the program's lock, serves
// the window's commands and sends it a spectrum frame per hop of sound (and
// the style colour scaled by the loudness every third hop) while it is
// registered, its stream open and started. The sound comes from a source:
// the sound server in the program, a synthetic one in tests.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "music/CaptureProtocol.h"
#include "music/SpectrumAnalyzer.h"
#include "platform/StoppableThread.h"

namespace m470 {

class SoundSource {
public:
    virtual ~SoundSource() = default;
    // False, with why, while the sound server cannot be reached.
    virtual bool Open(std::string& why) = 0;
    // Blocks for kHopFrames interleaved stereo frames; false when the stream is lost.
    virtual bool Read(int16_t* interleaved, const StopEvent& stop) = 0;
    virtual void Close() = 0;
};

// While no sound server answers, the waits between tries double from the
// first to the longest (a server that comes up late in the session is found
// within that); an opened stream starts over from the first.
inline constexpr auto kReopenWait = std::chrono::milliseconds(1000);
inline constexpr auto kReopenWaitLongest = std::chrono::milliseconds(16000);
// The wait after a failed try that followed a wait of last.
constexpr std::chrono::milliseconds NextReopenWait(std::chrono::milliseconds last) {
    return last * 2 > kReopenWaitLongest ? kReopenWaitLongest : last * 2;
}
inline constexpr size_t kMaxClients = 8;
inline constexpr size_t kMaxQueuedFrames = 8;
inline constexpr size_t kBandEvery = 3;

// The six band values sent beside the spectrum: the style colour (0-9 per
// component) scaled to 0-255 by the loudness, then the loudness itself.
std::array<int32_t, kBandValues> StyleBands(const std::array<int32_t, 3>& style, int32_t level);

class CaptureServer {
public:
    explicit CaptureServer(std::unique_ptr<SoundSource> source);
    ~CaptureServer();

    enum class BeginResult { Ready, OtherCopy, Failed };
    // Takes the lock in folder and listens on the socket there.
    BeginResult Begin(const std::string& folder, std::string& why);
    // Serves until a quit command; returns the exit code.
    int Run();

private:
    struct Client {
        int fd = -1;
        FrameDecoder decoder;
        std::vector<uint8_t> pending;  // the unsent rest of a frame
    };
    struct Hop {
        SpectrumValues values;
        int32_t level;
    };

    void Accept();
    bool Serve(Client& client);  // false: drop it
    void Command(const Client& client, int32_t code);
    void UpdateCapture();
    void Capture(const StopEvent& stop);
    void SendHops();
    void SendTo(Client& client, const CaptureFrame& frame);
    void Flush(Client& client);
    void Drop(size_t index);

    std::unique_ptr<SoundSource> source_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::string socketPath_;
    std::vector<Client> clients_;
    int receiver_ = -1;  // fd of the registered client
    bool open_ = false;
    bool started_ = false;
    bool quit_ = false;
    std::array<int32_t, 3> style_{0, 1, 0};
    size_t hopCount_ = 0;
    StoppableThread capture_;
    std::mutex queueMutex_;
    std::vector<Hop> queue_;
};

}  // namespace m470
