#pragma once
// What the desktop hears about the products, without a window: a wireless
// product's battery falling to 15 % and to 5 % (once per crossing, not once
// per read) and, when the user wants it, a product connecting or dropping
// out through its receiver. The notes go to a sink (the desktop's
// notification service in the window, a recorder in tests).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/NewsChoices.h"
#include "platform/Translator.h"

namespace m470 {

enum class NoteUrgency { Low = 0, Normal = 1, Critical = 2 };

struct DesktopNote {
    int product = 0;  // the model index: a product's later note replaces its earlier one
    std::string summary, body;
    NoteUrgency urgency = NoteUrgency::Normal;
    bool operator==(const DesktopNote&) const = default;
};

using NoteSink = std::function<void(const DesktopNote&)>;

class CProductNews {
public:
    CProductNews(NoteSink sink, Translator translate) : sink_(std::move(sink)), translate_(std::move(translate)) {}

    void SetChoices(const NewsChoices& choices) { choices_ = choices; }
    const NewsChoices& Choices() const { return choices_; }

    // A status block read from a product: byte 0 the level in percent, byte 1
    // the power state (2 on battery). Shorter blocks and levels past 100 are ignored.
    void PowerRead(int product, const std::string& name, const uint8_t* status, size_t length);
    // The product's receiver link came (up) or went. The first word on a
    // product only says how things stand (a mouse already on at start or
    // when its receiver is plugged was not just connected).
    void LinkChanged(int product, const std::string& name, bool up);
    // The product is gone (its last link unplugged): what was known of it is
    // forgotten, and its return is a first look again.
    void Forget(int product) { watched_.erase(product); }

private:
    struct Watch {
        int lowStep = -1;  // the deepest low-battery step told since the level was last high enough
        std::optional<bool> linked;  // unknown until the first look, which tells nothing
    };
    void Tell(int product, const std::string& name, const char* summaryKey, const char* bodyKey,
              const std::string& number, NoteUrgency urgency);

    NoteSink sink_;
    Translator translate_;
    NewsChoices choices_;
    std::map<int, Watch> watched_;
};

}  // namespace m470
