// A stand-in for m470-audiorecord with a 1 kHz tone instead of the sound
// server: the real lock, socket and commands, so the window's side and its
// watcher can be checked without sound.
#include <cstdio>
#include <memory>

#include "music/CaptureServer.h"
#include "music/ParentTie.h"
#include "support/SineSource.h"

int main(int argc, char** argv) {
    if (!m470::TieToParent(argc, argv)) return 1;
    std::string why;
    const std::string folder = m470::CaptureFolder(&why);
    if (folder.empty()) {
        std::fprintf(stderr, "capture stub: %s\n", why.c_str());
        return 1;
    }
    m470::CaptureServer server(std::make_unique<m470::test::SineSource>(1000.0, 0.5));
    switch (server.Begin(folder, why)) {
        case m470::CaptureServer::BeginResult::Ready: return server.Run();
        case m470::CaptureServer::BeginResult::OtherCopy: return 0;
        case m470::CaptureServer::BeginResult::Failed: break;
    }
    std::fprintf(stderr, "capture stub: %s\n", why.c_str());
    return 1;
}
