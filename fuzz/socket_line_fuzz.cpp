// Lines from the message socket: any bytes parse or are refused without a
// crash, and a message that parses is sent again as a line that gives it back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "qt/InstanceChannel.h"

using namespace m470;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string line(reinterpret_cast<const char*>(bytes), size);
    const std::optional<qt::InstanceMessage> message = qt::ParseInstanceMessage(line);
    if (!message) return 0;
    if (message->name.empty()) fuzz::Fail("a message without a name");
    const std::optional<qt::InstanceMessage> again = qt::ParseInstanceMessage(qt::FormatInstanceMessage(*message));
    if (!again || !(*again == *message)) fuzz::Fail("a message does not survive being sent again");
    return 0;
}
