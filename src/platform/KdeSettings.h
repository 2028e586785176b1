#pragma once
// KDE Plasma's own settings stores, reached through the desktop's tools as
// GNOME's are: the KConfig files (kdeglobals) through kreadconfig and
// kwriteconfig, and the pointer devices KWin manages through its D-Bus
// objects (gdbus). KWin keeps what is set on a device in its own config,
// so a value set there is the desktop's from then on.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopSettings.h"

namespace m470 {

class KdeConfig {
public:
    void SetLimit(const ToolLimit& limit) { limit_ = limit; }
    // A key of a KConfig file; nothing without the tools, an empty text when
    // the file has no such key (the desktop then uses its default).
    std::optional<std::string> Get(const std::string& file, const std::string& group, const std::string& key) const;
    // Written, then the desktop's programs are told their settings changed.
    bool Set(const std::string& file, const std::string& group, const std::string& key, const std::string& value) const;

private:
    ToolLimit limit_;
};

// The product ids of one mouse model (cable and receiver).
struct PointerIds {
    uint16_t vendorId = 0;
    std::vector<uint16_t> productIds;
};

class KWinPointerDevices {
public:
    void SetLimit(const ToolLimit& limit) { limit_ = limit; }
    // KWin's pointer devices of these ids, by their system names ("event7");
    // none when KWin does not manage input (an X11 session) or runs not.
    std::vector<std::string> Find(const PointerIds& ids) const;
    // A property of one device as gdbus prints its value ("0.5", "true").
    std::optional<std::string> Get(const std::string& device, const std::string& property) const;
    // value in D-Bus text form ("<double 0.5>", "<true>").
    bool Set(const std::string& device, const std::string& property, const std::string& value) const;

private:
    std::optional<std::string> Call(const std::string& path, const std::vector<std::string>& method) const;

    ToolLimit limit_;
};

// The value of a gdbus reply holding one variant: "(<uint32 5>,)" → "5",
// "(<'text'>,)" → "'text'"; nothing for another shape.
std::optional<std::string> VariantReplyValue(const std::string& reply);
// A member of a gdbus a{sv} reply ("({'vendor': <uint32 12815>, ...},)").
std::optional<std::string> DictReplyMember(const std::string& reply, const std::string& member);

}  // namespace m470
