#pragma once
// A product found on the bus whose node the user may not open: the most
// common first-run problem on Linux. The device manager lists them; the
// no-device page, m470ctl and the debug trace tell them with these texts.
#include <string>
#include <vector>

#include "device_link/KnownInterface.h"
#include "platform/Translator.h"

namespace m470 {

struct RefusedNode {
    std::string product;  // the product row's name ("mouse")
    DeviceKind kind = DeviceKind::Mouse;
    std::string node;     // "/dev/hidraw3"
    int error = 0;        // EACCES or EPERM

    bool operator==(const RefusedNode&) const = default;
};

// Where the rule that grants access is installed, and the build's copy.
inline constexpr const char* kInstalledUdevRule = "/usr/lib/udev/rules.d/60-m470.rules";
inline constexpr const char* kBuiltUdevRule = "packaging/60-m470.rules";

// An open that failed for lack of permission, not for a missing node.
bool IsPermissionRefusal(int error);

// "Gaming Mouse found at /dev/hidraw3, but permission to open it was refused."
std::string RefusalText(const RefusedNode& refused, const Translator& translate);
// How to fix it: the udev rule's paths, and replugging.
std::string RefusalFixText(const Translator& translate);
// Every refusal on a line of its own, then the fix; empty without refusals.
std::string RefusalReport(const std::vector<RefusedNode>& refused, const Translator& translate);

}  // namespace m470
