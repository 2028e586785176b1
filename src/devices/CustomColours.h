#pragma once
// The custom lighting of a product that keeps colour groups per key (the
// keyboard's mode 20): the lighting panel, the profile strip and the
// keyboard's picture ask it.
#include <cstddef>
#include <vector>

namespace m470 {

class CustomColours {
public:
    virtual ~CustomColours() = default;
    // The custom lighting follows another group.
    virtual void SwitchCustomGroup(int group) = 0;
    // The current group drawn again (after its record was written).
    virtual void RedrawCustomLighting() = 0;
    // Every key lit in the current colour (1) or dark (0); kept in the
    // profile only when store (a group is chosen on the panel).
    virtual void SetCustomColour(int on, bool store) = 0;
    // The profile was just reset to the factory values and applied: the
    // current group's colours go to the product.
    virtual void AfterProfileReset() = 0;
    // The custom mode is the lighting mode chosen.
    virtual bool Custom() const = 0;
    // The group the custom lighting follows.
    virtual int CustomGroup() const = 0;
    // Key i takes the current colour, in the profile and on the device (the
    // custom mode only); several keys at once make one page write.
    virtual int WriteColourPage(size_t key) = 0;
    virtual int WriteColourPage(const std::vector<size_t>& keys) = 0;
};

}  // namespace m470
