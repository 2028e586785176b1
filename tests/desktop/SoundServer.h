#pragma once
// A private PulseAudio daemon for one test: a null sink as the default
// output, the native protocol on a socket in the test's folder, nothing of
// the user's session (no autospawn, no D-Bus, no other client). It can be
// stopped and started again on the same socket, as a session's server is
// restarted. The daemon runs as root too (in CI), where it warns only.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "music/CaptureLink.h"
#include "music/SpectrumAnalyzer.h"
#include "platform/StoppableThread.h"
#include "support/ChildProcess.h"
#include "support/SineSource.h"
#include "support/TempFolder.h"

namespace m470::test {

class SoundServer {
public:
    explicit SoundServer(const TempFolder& folder)
        : home_(folder.File("pulse-home")), runtime_(folder.File("pulse-run")), log_(folder.File("pulse.log")) {
        std::filesystem::create_directories(home_);
        std::filesystem::create_directories(runtime_);
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        script_ = folder.File("pulse.pa");
        folder.Write("pulse.pa", "load-module module-null-sink sink_name=m470test rate=48000\n"
                                 "set-default-sink m470test\n"
                                 "load-module module-native-protocol-unix auth-anonymous=1 socket=" + Socket() + "\n");
        clientConfig_ = folder.File("pulse-client.conf");
        folder.Write("pulse-client.conf", "autospawn = no\ndefault-server = unix:" + Socket() + "\n");
    }
    ~SoundServer() { Stop(); }

    // Starts the daemon and waits until it takes connections; false, with
    // why (its own words included), when it cannot start here.
    bool Start(std::string& why) {
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{kProgram, "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                     "--realtime=no", "--high-priority=no", "--disable-shm=yes", "--log-target=stderr",
                                     "-F", script_},
            std::vector<std::string>{"HOME=" + home_, "XDG_RUNTIME_DIR=" + runtime_, "PULSE_RUNTIME_PATH=" + runtime_,
                                     "XDG_CONFIG_HOME=" + home_ + "/config", "DBUS_SESSION_BUS_ADDRESS=disabled:"},
            log_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!daemon_->Running()) break;
            const int fd = ConnectLocalSocket(Socket());
            if (fd >= 0) {
                ::close(fd);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why = std::string(kProgram) + " did not start: " + TempFolder::ReadFile(log_);
        Stop();
        return false;
    }
    // Ends the daemon as a session's logout does (SIGTERM).
    void Stop() {
        if (daemon_) daemon_->Stop(SIGTERM);
        daemon_.reset();
    }

    std::string Socket() const { return runtime_ + "/native"; }
    std::string Server() const { return "unix:" + Socket(); }
    // What a client of this server needs in its environment.
    std::vector<std::string> ClientEnvironment() const {
        return {"PULSE_SERVER=" + Server(), "PULSE_CLIENTCONFIG=" + clientConfig_};
    }

    static constexpr const char* kProgram = "/usr/bin/pulseaudio";

private:
    std::string home_, runtime_, log_, script_, clientConfig_;
    std::unique_ptr<ChildProcess> daemon_;
};

// Plays a 0.5-amplitude sine into the server's default output until stopped
// or the server goes: steadily, or in bursts (on for burstHops hops of the
// capture, off for as long) so that the spectrum keeps changing.
class TonePlayer {
public:
    TonePlayer(const std::string& server, double frequency, size_t burstHops = 0) {
        thread_.Start([=, this](const StopEvent& stop) { Play(server, frequency, burstHops, stop); }, "tone");
    }
    ~TonePlayer() { thread_.Stop(std::chrono::milliseconds(2000)); }

private:
    void Play(const std::string& server, double frequency, size_t burstHops, const StopEvent& stop) {
        const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(kCaptureRate), kCaptureChannels};
        // A short buffer: a write blocks at most that long, so a stop is seen soon.
        pa_buffer_attr buffer{};
        buffer.maxlength = buffer.prebuf = buffer.minreq = static_cast<uint32_t>(-1);
        buffer.tlength = static_cast<uint32_t>(kCaptureRate / 10 * kCaptureChannels * sizeof(int16_t));
        int error = 0;
        pa_simple* stream = pa_simple_new(server.c_str(), "m470 test", PA_STREAM_PLAYBACK, nullptr, "tone", &format,
                                          nullptr, &buffer, &error);
        if (stream == nullptr) return;
        std::vector<int16_t> hop(kHopFrames * kCaptureChannels);
        for (size_t count = 0; !stop.IsSet(); ++count) {
            const bool on = burstHops == 0 || (count / burstHops) % 2 == 0;
            FillSine(hop.data(), kHopFrames, frequency, on ? 0.5 : 0.0, count * kHopFrames);
            if (pa_simple_write(stream, hop.data(), hop.size() * sizeof(int16_t), &error) < 0) break;  // the server went
        }
        pa_simple_free(stream);
    }

    StoppableThread thread_;
};

}  // namespace m470::test
