#pragma once
// One m470ctl run from its words to its answer: help and bad usage at once;
// otherwise the request goes to the running window, or, when none runs,
// m470ctl takes the products' lock and carries it out on its own session.
#include <memory>
#include <string>
#include <vector>

#include "ctl/CtlProtocol.h"
#include "device_link/HidBackend.h"

namespace m470::ctl {

struct RunSettings {
    // The folder relative file names are taken from (the shell's).
    std::string workingFolder;
    // How long the window may take to answer, and the lock to come free.
    int answerMs = 30000;
    int lockMs = 10000;
    // The products of a direct run; empty: the HID bus, or the virtual
    // products named by --virtual or M470_VIRTUAL.
    std::shared_ptr<HidBackend> backend;
};

Reply RunCommandLine(const std::vector<std::string>& words, const RunSettings& settings);

}  // namespace m470::ctl
