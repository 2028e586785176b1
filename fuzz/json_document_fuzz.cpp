// What the JSON helpers accept, saved and read again, gives the same document:
// a file the program rewrites never changes what it holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/JsonFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool ok = false;
    const Json::Value document = m470::ParseJson(text, &ok);
    if (!ok) return 0;
    bool again = false;
    const Json::Value reread = m470::ParseJson(m470::StyledJson(document), &again);
    if (!again || !(reread == document)) std::abort();
    return 0;
}
