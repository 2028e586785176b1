#pragma once
// The settings window's update entries: one for each connected product whose
// firmware version is known, and the program itself.
#include <string>
#include <vector>

#include "update/UpdateCheck.h"

namespace m470 {

class CDeviceSelector;
class RegistryStore;

// The products' entries (installed version not 0) in selector order, then the
// program's; without a selector only the program's.
std::vector<UpdateEntry> BuildUpdateList(const CDeviceSelector* selector, const RegistryStore& registry,
                                         const std::string& programVersion);

}  // namespace m470
