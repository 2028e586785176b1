#pragma once
// Descriptor helpers both ends of the capture socket share: a non-blocking
// local stream socket, a whole-frame write that waits at most a limit for
// the peer, and reading what is there into a decoder.
#include <string>
#include <vector>

#include "music/CaptureProtocol.h"
#include "platform/LocalSocket.h"  // ConnectLocalSocket: the client end

namespace m470 {

// A listening non-blocking socket at path (a socket left there is replaced;
// anything else at the path is refused), or -1 with error set.
int ListenLocalSocket(const std::string& path, std::string& error);

// Writes all bytes; each wait for room is at most timeoutMs. False on a
// peer that hung up, an error or the time running out.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs);

enum class ReadOutcome { Open, Closed, Broken };
// Reads everything available without blocking and decodes it into frames.
// Closed: the peer hung up; Broken: a frame with a bad header arrived.
ReadOutcome ReadFrames(int fd, FrameDecoder& decoder, std::vector<CaptureFrame>& frames);

}  // namespace m470
