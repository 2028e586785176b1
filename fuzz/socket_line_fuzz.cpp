// Lines from the message socket: any bytes parse or are refused without a
// crash, and a message that parses is sent again as a line that gives it back.
// m470ctl's requests too: their words survive being sent again, and any
// words make a command or a reason why not.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ctl/CtlCommand.h"
#include "ctl/CtlProtocol.h"
#include "qt/InstanceChannel.h"

using namespace m470;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string line(reinterpret_cast<const char*>(bytes), size);
    if (const auto words = ctl::ParseRequest(line)) {
        if (ctl::ParseRequest(ctl::FormatRequest(*words)) != words) fuzz::Fail("a request does not survive being sent again");
        const ctl::ParsedCommand parsed = ctl::ParseCommand(*words);
        if (!parsed.command && parsed.error.empty()) fuzz::Fail("words refused without a reason");
        return 0;
    }
    const std::optional<qt::InstanceMessage> message = qt::ParseInstanceMessage(line);
    if (!message) return 0;
    if (message->name.empty()) fuzz::Fail("a message without a name");
    const std::optional<qt::InstanceMessage> again = qt::ParseInstanceMessage(qt::FormatInstanceMessage(*message));
    if (!again || !(*again == *message)) fuzz::Fail("a message does not survive being sent again");
    return 0;
}
