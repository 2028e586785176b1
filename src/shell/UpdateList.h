#pragma once
// The settings window's update entries: one for each connected product whose
// firmware version is known, and the program itself.
#include <string>
#include <vector>

#include "update/UpdateCheck.h"

namespace m470 {

class CDeviceSelector;
class RegistryStore;

// A product the list can name: its row in the product table and what the
// update service calls it.
struct UpdateProductRow {
    const char* productName;  // ProductRow::name
    int type;                 // kTypeMouseClass or kTypeKeyboardClass
    const char* deviceName;   // the device word of the service's key
};

// The products' entries (installed version not 0) in selector order, then the
// program's; without a selector only the program's.
std::vector<UpdateEntry> BuildUpdateList(const CDeviceSelector* selector, const RegistryStore& registry,
                                         const std::string& programVersion);

}  // namespace m470
