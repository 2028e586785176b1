#pragma once
// Which desktop notifications the user wants, kept in registry.json:
//   NOTIFY_BATTERY  "1" (default) / "0": a wireless product's battery runs low
//   NOTIFY_LINK     "0" (default) / "1": a product connects or drops out through its receiver
#include "platform/Registry.h"

namespace m470 {

struct NewsChoices {
    bool battery = true;
    bool link = false;
    bool operator==(const NewsChoices&) const = default;
};

NewsChoices ReadNewsChoices(const RegistryStore& registry);
// False when registry.json could not be written; the choice then holds for this session only.
bool WriteNewsChoices(RegistryStore& registry, const NewsChoices& choices);

}  // namespace m470
