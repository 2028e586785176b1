#pragma once
// What the key assignment and macro panels edit on a device with
// programmable keys (the mouse, the keyboard): the functions of its key
// slots, where its macros live and the language of its captions, and the
// writes of its macros and key table. A device reports it as its `keys`
// capability.
#include <string>
#include <vector>

#include "keys/KeyAssignment.h"
#include "platform/Translator.h"

namespace m470 {

class KeyAssignmentModel {
public:
    virtual ~KeyAssignmentModel() = default;
    // The key panel's mode: 1 keyboard (no DPI or recoil kinds), 2 mouse.
    virtual int KeyPanelKind() const = 0;
    // One pair per key slot, in slot order.
    virtual const std::vector<KeyAssignmentPair>& Assignments() const = 0;
    // One slot's pair stored in the model and the profile document (not
    // saved), then Keys told. A slot the model lacks is left alone.
    virtual void StoreAssignment(size_t index, const KeyAssignmentPair& pair) = 0;
    // The slot still has the function it left the factory with.
    virtual bool KeyIsFactory(size_t slot) const = 0;
    // The key table was read from the device attached now.
    virtual bool KeyTableRead() const = 0;
    // The folder holding the macro catalogue and the macros' event files.
    virtual std::string MacroFolder() const = 0;
    virtual const Translator& Translation() const = 0;
    // The device's index in its profile documents (macros renumbered in the other profiles).
    virtual int ProfileDeviceIndex() const = 0;
    // The catalogue numbers of the macros the keys use, in device order.
    virtual std::vector<int> CollectUsedMacros() = 0;
    // The macro image: 0 when sent or nothing to send, -1 when it failed,
    // else the events that did not fit.
    virtual int WriteMacros(const std::vector<int>& macros) = 0;
    // The key table (a transport result code).
    virtual int WriteKeyAssignments(int page, const std::vector<int>& macros) = 0;
    int WriteKeyAssignmentsWithMacros(int page) { return WriteKeyAssignments(page, CollectUsedMacros()); }
};

}  // namespace m470
