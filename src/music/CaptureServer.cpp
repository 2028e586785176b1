#include "music/CaptureServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "music/CaptureLink.h"
#include "platform/DebugTrace.h"

namespace m470 {

std::array<int32_t, kBandValues> StyleBands(const std::array<int32_t, 3>& style, int32_t level) {
    std::array<int32_t, kBandValues> bands{};
    for (size_t c = 0; c < 3; ++c)
        bands[c] = std::clamp(style[c], 0, 9) * 255 / 9 * std::clamp(level, 0, kFullScaleValue) / kFullScaleValue;
    bands[3] = level;
    return bands;
}

CaptureServer::CaptureServer(std::unique_ptr<SoundSource> source) : source_(std::move(source)) {}

CaptureServer::~CaptureServer() {
    capture_.Stop(std::chrono::milliseconds(1000));
    for (const Client& client : clients_) ::close(client.fd);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(socketPath_.c_str());
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (lockFd_ >= 0) ::close(lockFd_);  // the lock goes with the descriptor
}

CaptureServer::BeginResult CaptureServer::Begin(const std::string& folder, std::string& why) {
    lockFd_ = ::open(CaptureLockPath(folder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        why = "cannot open the lock " + CaptureLockPath(folder) + ": " + std::strerror(errno);
        return BeginResult::Failed;
    }
    // The window's watcher probes the lock for a moment; a start that meets
    // its probe tries again before taking the other holder for a copy.
    bool locked = false;
    for (int attempt = 0; attempt < 5 && !locked; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        locked = ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
    }
    if (!locked) {
        why = "another copy holds " + CaptureLockPath(folder);
        return BeginResult::OtherCopy;
    }
    socketPath_ = CaptureSocketPath(folder);
    listenFd_ = ListenLocalSocket(socketPath_, why);
    if (listenFd_ < 0) return BeginResult::Failed;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        why = std::string("eventfd: ") + std::strerror(errno);
        return BeginResult::Failed;
    }
    return BeginResult::Ready;
}

int CaptureServer::Run() {
    while (!quit_) {
        std::vector<pollfd> fds{{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        for (const Client& client : clients_)
            fds.push_back({client.fd, static_cast<short>(POLLIN | (client.pending.empty() ? 0 : POLLOUT)), 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            DebugTrace::Printf("capture poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (fds[1].revents != 0) SendHops();
        // Walk backwards so dropping a client keeps the indices below it.
        for (size_t i = clients_.size(); i-- > 0;) {
            const short events = fds[2 + i].revents;
            if (events == 0) continue;
            if ((events & POLLOUT) != 0) Flush(clients_[i]);
            if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !Serve(clients_[i])) Drop(i);
        }
        if (fds[0].revents != 0) Accept();
        UpdateCapture();
    }
    return 0;
}

void CaptureServer::Accept() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= kMaxClients) {
        ::close(fd);
        return;
    }
    clients_.push_back(Client{fd, {}, {}});
}

void CaptureServer::Drop(size_t index) {
    if (clients_[index].fd == receiver_) receiver_ = -1;
    ::close(clients_[index].fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool CaptureServer::Serve(Client& client) {
    std::vector<CaptureFrame> frames;
    const ReadOutcome outcome = ReadFrames(client.fd, client.decoder, frames);
    for (const CaptureFrame& frame : frames) {
        if (frame.kind == FrameKind::Command) {
            Command(client, frame.parameter);
        } else if (frame.parameter == kStyleData) {
            const std::vector<int32_t> rgb = ReadValues(frame.data, 12);
            std::copy(rgb.begin(), rgb.end(), style_.begin());
        }
    }
    if (outcome == ReadOutcome::Broken) DebugTrace::Write("frame with a bad header; connection closed");
    return outcome == ReadOutcome::Open;
}

void CaptureServer::Command(const Client& client, int32_t code) {
    switch (static_cast<CaptureCommand>(code)) {
        case CaptureCommand::Register: receiver_ = client.fd; break;
        case CaptureCommand::Start: started_ = true; break;
        case CaptureCommand::Stop: started_ = false; break;
        case CaptureCommand::Open: open_ = true; break;
        case CaptureCommand::Unregister:
            receiver_ = -1;
            open_ = false;
            break;
        case CaptureCommand::Quit: quit_ = true; break;
        default: DebugTrace::Printf("unknown capture command %d", code);
    }
}

void CaptureServer::UpdateCapture() {
    const bool wanted = receiver_ >= 0 && open_ && started_ && !quit_;
    if (wanted == capture_.Running()) return;
    if (wanted) {
        capture_.Start([this](const StopEvent& stop) { Capture(stop); }, "capture");
    } else {
        capture_.Stop(std::chrono::milliseconds(1000));
        std::lock_guard lock(queueMutex_);
        queue_.clear();
    }
}

void CaptureServer::Capture(const StopEvent& stop) {
    SpectrumAnalyzer analyzer;
    std::array<int16_t, kHopFrames * kCaptureChannels> samples{};
    bool told = false;
    auto reopenWait = kReopenWait;
    while (!stop.IsSet()) {
        std::string why;
        if (!source_->Open(why)) {
            // The sound server may not be up yet (early in the session): try again.
            if (!told) DebugTrace::Write("sound server not reachable, retrying: " + why);
            told = true;
            if (stop.WaitFor(reopenWait)) break;
            reopenWait = NextReopenWait(reopenWait);
            continue;
        }
        told = false;
        reopenWait = kReopenWait;
        while (!stop.IsSet() && source_->Read(samples.data(), stop)) {
            Hop hop{analyzer.Analyze(samples.data(), kHopFrames), analyzer.Level()};
            {
                std::lock_guard lock(queueMutex_);
                if (queue_.size() >= kMaxQueuedFrames) queue_.erase(queue_.begin());
                queue_.push_back(hop);
            }
            const uint64_t one = 1;
            (void)!::write(wakeFd_, &one, sizeof one);
        }
        source_->Close();
        if (!stop.IsSet()) DebugTrace::Write("sound stream lost, reopening");
    }
}

void CaptureServer::SendHops() {
    uint64_t count = 0;
    (void)!::read(wakeFd_, &count, sizeof count);
    std::vector<Hop> hops;
    {
        std::lock_guard lock(queueMutex_);
        hops.swap(queue_);
    }
    auto receiver = std::find_if(clients_.begin(), clients_.end(), [this](const Client& c) { return c.fd == receiver_; });
    if (receiver == clients_.end() || !started_) return;
    for (const Hop& hop : hops) {
        SendTo(*receiver, ValuesFrame(kSpectrumData, hop.values.data(), hop.values.size()));
        if (++hopCount_ % kBandEvery == 0) {
            const auto bands = StyleBands(style_, hop.level);
            SendTo(*receiver, ValuesFrame(kBandData, bands.data(), bands.size()));
        }
    }
}

void CaptureServer::SendTo(Client& client, const CaptureFrame& frame) {
    // A window that does not keep up loses frames, never gets half of one.
    if (!client.pending.empty()) return;
    const std::vector<uint8_t> bytes = EncodeFrame(frame);
    const ssize_t sent = ::send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    const size_t done = sent > 0 ? static_cast<size_t>(sent) : 0;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;  // its hang-up is seen when reading
    client.pending.assign(bytes.begin() + static_cast<std::ptrdiff_t>(done), bytes.end());
}

void CaptureServer::Flush(Client& client) {
    const ssize_t sent = ::send(client.fd, client.pending.data(), client.pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) client.pending.erase(client.pending.begin(), client.pending.begin() + sent);
}

}  // namespace m470
