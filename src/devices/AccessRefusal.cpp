#include "devices/AccessRefusal.h"

#include <cerrno>

#include "platform/Text.h"

namespace m470 {
namespace {

std::string Translated(const Translator& translate, const std::string& key) { return translate ? translate(key) : key; }

}  // namespace

bool IsPermissionRefusal(int error) { return error == EACCES || error == EPERM; }

std::string RefusalText(const RefusedNode& refused, const Translator& translate) {
    return FillPlaceholders(Translated(translate, "access_refused_text"),
                            {Translated(translate, refused.product + "_device_name_text"), refused.node});
}

std::string RefusalFixText(const Translator& translate) {
    return FillPlaceholders(Translated(translate, "access_refused_fix"), {kInstalledUdevRule, kBuiltUdevRule});
}

std::string RefusalReport(const std::vector<RefusedNode>& refused, const Translator& translate) {
    if (refused.empty()) return {};
    std::string text;
    for (const RefusedNode& node : refused) text += RefusalText(node, translate) + "\n";
    return text + RefusalFixText(translate);
}

}  // namespace m470
