#include "music/CaptureClient.h"

#include <unistd.h>

#include "music/CaptureLink.h"
#include "platform/DebugTrace.h"

namespace m470 {

CaptureClient::CaptureClient(std::string socketPath) : path_(std::move(socketPath)) {}

CaptureClient::~CaptureClient() { Close(); }

void CaptureClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    decoder_ = FrameDecoder{};
}

bool CaptureClient::Find() {
    Close();
    std::string path = path_;
    if (path.empty()) {
        std::string why;
        const std::string folder = CaptureFolder(&why);
        if (folder.empty()) {
            DebugTrace::Write("capture socket folder refused: " + why);
            return false;
        }
        path = CaptureSocketPath(folder);
    }
    fd_ = ConnectLocalSocket(path);
    return fd_ >= 0;
}

bool CaptureClient::Send(const CaptureFrame& frame) {
    if (fd_ < 0) return false;
    if (WriteAll(fd_, EncodeFrame(frame), kCaptureSendTimeoutMs)) return true;
    DebugTrace::Write("capture program did not take a frame; connection dropped");
    Close();
    return false;
}

bool CaptureClient::ConnectCapture() {
    if (!Find()) return false;
    for (CaptureCommand command : {CaptureCommand::Register, CaptureCommand::Open, CaptureCommand::Start})
        if (!Send(CommandFrame(command))) return false;
    return true;
}

bool CaptureClient::DisconnectCapture() {
    if (!Find()) return false;
    bool sent = true;
    for (CaptureCommand command : {CaptureCommand::Stop, CaptureCommand::Unregister, CaptureCommand::Quit})
        sent = sent && Send(CommandFrame(command));
    Close();
    return sent;
}

CaptureFrame StyleFrame(const std::array<int32_t, 3>& rgb) {
    CaptureFrame frame = ValuesFrame(kStyleData, rgb.data(), rgb.size());
    frame.data.resize(kStyleBytes, 0);
    return frame;
}

bool CaptureClient::SendStyle(const std::array<int32_t, 3>& rgb) {
    if (fd_ < 0) return false;
    if (!Send(StyleFrame(rgb))) return false;
    DebugTrace::Write("2222222222");
    return true;
}

void CaptureClient::ReadAvailable(const std::function<void(const CaptureFrame&)>& onFrame) {
    if (fd_ < 0) return;
    std::vector<CaptureFrame> frames;
    const ReadOutcome outcome = ReadFrames(fd_, decoder_, frames);
    for (const CaptureFrame& frame : frames)
        if (frame.kind == FrameKind::Data && !frame.data.empty()) onFrame(frame);
    if (outcome == ReadOutcome::Broken) DebugTrace::Write("capture frame with a bad header; connection closed");
    if (outcome != ReadOutcome::Open) Close();
}

}  // namespace m470
