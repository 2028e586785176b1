// m470ctl: the M470 products' settings from a shell or a script.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ctl/CtlRun.h"
#include "platform/InstanceSocket.h"

int main(int argc, char** argv) {
    // A failed save is told like any other; the default action would end the run.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> words(argv + 1, argv + argc);
    m470::ctl::RunSettings settings;
    std::error_code ignored;
    settings.workingFolder = std::filesystem::current_path(ignored).string();
    // A runtime folder that cannot be trusted is passed over; the user hears why.
    if (const std::string notice = m470::RuntimeFolderNotice(); !notice.empty()) std::fprintf(stderr, "m470ctl: %s\n", notice.c_str());
    const m470::ctl::Reply reply = m470::ctl::RunCommandLine(words, settings);
    std::fputs(reply.out.c_str(), stdout);
    std::fputs(reply.err.c_str(), stderr);
    return reply.exitCode;
}
