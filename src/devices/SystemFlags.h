#pragma once
// The mouse's system values: pointer speed and precision, scrolling, the
// double-click time and the report rate of each link. They are kept in the
// profile; the report rates go to the mouse too. A device reports it as its
// `systemFlags` capability.
#include "devices/MouseProfiledata.h"

namespace m470 {

class SystemFlags {
public:
    virtual ~SystemFlags() = default;
    virtual const SystemSettings& System() const = 0;
    // The values stored and saved; written too when asked (the report rate).
    // The write's result (success when nothing was to be written).
    virtual int CommitSystem(const SystemSettings& settings, bool write) = 0;
};

}  // namespace m470
