#pragma once
// Carries out one m470ctl command on the device pages of whoever holds the
// products: the running window (a request on its socket) or m470ctl itself
// (its headless session). Settings and profile actions go through the
// pages' own routes, with this request answering the pages' questions:
// it confirms, names the file it was given and collects every message
// instead of showing a box.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ctl/CtlCommand.h"
#include "ctl/CtlProtocol.h"
#include "devices/AccessRefusal.h"
#include "pages/DevicePage.h"
#include "pages/PageContextSwitch.h"
#include "pages/QuickProfileChoice.h"
#include "shell/Language.h"

namespace m470::ctl {

// The side that holds the products and their pages.
class CtlTarget {
public:
    virtual ~CtlTarget() = default;
    // Every device object, in the order they were made.
    virtual std::vector<CVantrelUSBDevice*> Devices() const = 0;
    virtual CDevicePage* PageOf(const CVantrelUSBDevice* device) const = 0;
    // Connected now (and not switched off behind its receiver).
    virtual bool Reachable(const CVantrelUSBDevice* device) const = 0;
    // What the pages ask goes here; the executor redirects it per request.
    virtual PageContextSwitch& PageContexts() = 0;
    // Products found whose nodes the user may not open.
    virtual std::vector<RefusedNode> Refused() const { return {}; }
    // The profile choice not applied yet; a request's own choice replaces it.
    virtual QuickProfileChoice& ProfileChoice() = 0;
    // The OpenRGB SDK server switched on or off: kept in registry.json (and
    // started or stopped where a window holds the server).
    virtual Reply SwitchSdk(bool on);
    // The page of a device still held; nullptr for one gone meanwhile.
    CDevicePage* HeldPageOf(const CVantrelUSBDevice* device) const;
};

inline constexpr int kExitDone = 0, kExitRefused = 1, kExitUsage = 2;

class CtlExecutor {
public:
    CtlExecutor(CtlTarget& target, const LanguageTable& english) : target_(target), english_(english) {}

    // The words of a command line (options included).
    Reply Run(const std::vector<std::string>& words);
    Reply Execute(const Command& command);

private:
    struct Found {
        CVantrelUSBDevice* device = nullptr;
        CDevicePage* page = nullptr;
    };
    std::optional<Found> FindProduct(const Command& command, Reply& reply) const;
    Reply Help(const Command& command) const;
    Reply ModeHelp(const Command& command) const;
    Reply List(const Command& command);
    Reply SdkReply(const Command& command, Reply reply);
    Reply Get(const Command& command, const Found& found);
    Reply Set(const Command& command, const Found& found);
    Reply Profile(const Command& command, const Found& found);
    Reply ProfileList(const Command& command, const Found& found);
    std::string ProductWordOf(const CVantrelUSBDevice* device) const;

    CtlTarget& target_;
    const LanguageTable& english_;
};

}  // namespace m470::ctl
