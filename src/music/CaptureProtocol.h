#pragma once
// The one protocol between the window and the capture program m470-audiorecord:
// length-prefixed frames on the local socket "M470AudioRecord" of the runtime
// folder. A frame is a 12-byte header {kind, parameter, length} (32-bit,
// little-endian) followed by length bytes of data.
//   kind 1, command: parameter = the command code, data ignored
//   kind 2, data:    parameter = the data type, data = its bytes
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace m470 {

inline constexpr const char* kCaptureName = "M470AudioRecord";
// The window starts the capture program with "--parent <its pid>": the
// program ends with that process, however it ends.
inline constexpr const char* kParentOption = "--parent";

enum class FrameKind : uint32_t { Command = 1, Data = 2 };

// Commands from the window to the capture program.
enum class CaptureCommand : int32_t {
    Register = 0,    // this connection receives the frames
    Start = 1,       // capture and send frames
    Stop = 2,        // stop sending (the sound stream stays open)
    Open = 3,        // open the sound stream (connect to the sound server)
    Unregister = 4,  // this connection no longer receives frames; the stream closes
    Quit = 5,        // the capture program ends
};

// Data types.
inline constexpr int32_t kSpectrumData = 1;  // capture → window: up to 500 32-bit values
inline constexpr int32_t kBandData = 2;      // capture → window: six 32-bit values
inline constexpr int32_t kStyleData = 10;    // window → capture: R, G, B of the style, 40 bytes

inline constexpr size_t kSpectrumValues = 500;
inline constexpr size_t kSpectrumBytes = kSpectrumValues * 4;  // a longer frame is cut
inline constexpr size_t kBandValues = 6;
inline constexpr size_t kBandBytes = kBandValues * 4;
inline constexpr size_t kStyleBytes = 40;

inline constexpr size_t kFrameHeaderBytes = 12;
// Any frame announcing more data than this is no frame of ours: the peer is
// dropped rather than letting it make us hold or wait for it.
inline constexpr uint32_t kMaxFrameData = 4096;
// How long a write may wait for the peer.
inline constexpr int kCaptureSendTimeoutMs = 1500;

struct CaptureFrame {
    FrameKind kind = FrameKind::Command;
    int32_t parameter = 0;
    std::vector<uint8_t> data;
    friend bool operator==(const CaptureFrame&, const CaptureFrame&) = default;
};

std::vector<uint8_t> EncodeFrame(const CaptureFrame& frame);
CaptureFrame CommandFrame(CaptureCommand command);
CaptureFrame ValuesFrame(int32_t dataType, const int32_t* values, size_t count);

// Collects bytes from a stream into frames. After a header with an unknown
// kind or a length above kMaxFrameData the decoder is broken for good: the
// connection must be closed.
class FrameDecoder {
public:
    // Appends bytes and moves every complete frame to out; false once broken.
    bool Feed(const uint8_t* bytes, size_t size, std::vector<CaptureFrame>& out);
    bool Broken() const { return broken_; }
    size_t Pending() const { return buffer_.size(); }

private:
    std::vector<uint8_t> buffer_;
    bool broken_ = false;
};

// Little-endian 32-bit values of a data block; the count is what the bytes hold.
std::vector<int32_t> ReadValues(const std::vector<uint8_t>& data, size_t maxBytes);

// The folder of the socket and the lock: $XDG_RUNTIME_DIR when it is an
// absolute folder, else the private folder M470-<uid> of the temporary folder.
// Either must be a folder only this user can enter (0700, ours); empty with
// error set when it is not.
std::string CaptureFolder(std::string* error = nullptr);
std::string CaptureSocketPath(const std::string& folder);
std::string CaptureLockPath(const std::string& folder);

}  // namespace m470
