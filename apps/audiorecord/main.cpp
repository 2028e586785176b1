// m470-audiorecord: captures what the default output plays and sends the
// window a spectrum frame per hop over the capture socket. One copy per user
// (its lock); ends on the window's quit command, or with the window that
// started it (--parent PID).
#include <csignal>
#include <cstdio>
#include <memory>

#include "PulseSource.h"
#include "music/CaptureServer.h"
#include "music/ParentTie.h"

int main(int argc, char** argv) {
    if (!m470::TieToParent(argc, argv)) return 1;  // the window that started us is gone
    std::signal(SIGPIPE, SIG_IGN);
    std::string why;
    const std::string folder = m470::CaptureFolder(&why);
    if (folder.empty()) {
        std::fprintf(stderr, "m470-audiorecord: %s\n", why.c_str());
        return 1;
    }
    m470::CaptureServer server(std::make_unique<m470::PulseSource>());
    switch (server.Begin(folder, why)) {
        case m470::CaptureServer::BeginResult::Ready: return server.Run();
        case m470::CaptureServer::BeginResult::OtherCopy: return 0;  // it serves the window already
        case m470::CaptureServer::BeginResult::Failed: break;
    }
    std::fprintf(stderr, "m470-audiorecord: %s\n", why.c_str());
    return 1;
}
