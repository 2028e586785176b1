#include "devices/KeySlots.h"

#include <algorithm>

namespace m470 {

uint8_t FindFactorySlot(const std::vector<uint8_t>& table, size_t slots, const KeyAssignment& function, uint8_t absent) {
    for (size_t k = 0; k < slots && 3 * k + 2 < table.size() && k < absent; ++k)
        if (table[3 * k] == function.type && table[3 * k + 1] == function.param1 && table[3 * k + 2] == function.param2)
            return static_cast<uint8_t>(k);
    return absent;
}

std::vector<int> UsedMacros(std::span<const uint8_t> slotOfKey, uint8_t absent, const std::vector<KeyAssignmentPair>& keys,
                            size_t macroCount) {
    std::vector<int> used;
    for (size_t j = 0; j < slotOfKey.size() && j < keys.size(); ++j) {
        if (slotOfKey[j] == absent) continue;
        const KeyAssignment& key = keys[j].current;
        if (!IsMacroType(key.type) || key.param1 >= macroCount) continue;
        if (std::find(used.begin(), used.end(), key.param1) == used.end()) used.push_back(key.param1);
    }
    return used;
}

void PlaceKeyFunctions(std::vector<uint8_t>& image, std::span<const uint8_t> slotOfKey, uint8_t absent,
                       const std::vector<KeyAssignmentPair>& keys, const std::function<KeyAssignment(size_t)>& factory,
                       size_t macroCount) {
    const std::vector<int> numbering = UsedMacros(slotOfKey, absent, keys, macroCount);
    for (size_t j = 0; j < slotOfKey.size(); ++j) {
        const size_t k = slotOfKey[j];
        if (k == absent || 3 * k + 2 >= image.size()) continue;
        KeyAssignment key = j < keys.size() ? keys[j].current : factory(j);
        if (IsMacroType(key.type)) {
            const auto position = std::find(numbering.begin(), numbering.end(), key.param1);
            if (key.param1 < macroCount && position != numbering.end())
                key.param1 = static_cast<uint8_t>(position - numbering.begin());
            else
                key = factory(j);
        }
        image[3 * k] = key.type;
        image[3 * k + 1] = key.param1;
        image[3 * k + 2] = key.param2;
    }
}

bool ResetMissingMacros(std::vector<KeyAssignmentPair>& keys, size_t macroCount) {
    bool changed = false;
    for (KeyAssignmentPair& pair : keys) {
        if (!IsMacroType(pair.current.type) || pair.current.param1 < macroCount) continue;
        pair.current = pair.defaults;
        changed = true;
    }
    return changed;
}

bool PruneMissingMacros(std::vector<KeyAssignmentPair>& keys, size_t macroCount, CBasicProfiledata& profile) {
    if (!ResetMissingMacros(keys, macroCount)) return false;
    profile.WriteKeyList(keys);
    return true;
}

bool StoreKeyPair(std::vector<KeyAssignmentPair>& keys, size_t index, const KeyAssignmentPair& pair,
                  CBasicProfiledata& profile) {
    if (index >= keys.size()) return false;
    keys[index] = pair;
    profile.WriteKeyList(keys);
    return true;
}

}  // namespace m470
