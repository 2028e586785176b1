// Replies of a hostile or broken device: the mouse and the pad read their
// whole state from them and then write a record, and nothing crashes. Each
// request takes the next 64 input bytes as its reply (the first byte chooses
// whether byte 3 echoes the command, so the fuzzer gets past the pairing);
// a failing reply follows each one, so no exchange waits for its time limit.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "FuzzSupport.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "support/ScriptedPeer.h"
#include "ui/MemoryControlTree.h"

using namespace m470;

namespace {

struct Input {
    std::mutex mutex;
    const uint8_t* next = nullptr;
    size_t left = 0;

    test::ScriptedPeer::Answer Reply(const Report& request) {
        std::lock_guard lock(mutex);
        test::Bytes failed = test::ReplyTo(request, request[packet::kCommand], packet::kStatusFailed);
        if (left == 0) return {{failed, failed}, {}};
        const size_t take = std::min<size_t>(left, kReportLength);
        test::Bytes reply(next, next + take);
        reply.resize(kReportLength, 0);
        next += take;
        left -= take;
        const bool echo = (reply[0] & 1) != 0;
        reply[packet::kReportId] = kCommandReportId;
        if (echo) reply[packet::kCommand] = request[packet::kCommand];
        return {{reply, failed}, {}};
    }
};

template <class Device>
struct Rig {
    test::ScriptedPeer peer;
    ui::MemoryControlHost host;
    std::unique_ptr<Device> device;
    std::unique_ptr<CDevicePage> view;  // goes before the device it listens to

    Rig(uint16_t productId, const char* layout) : peer(productId) {
        ui::MemoryControl* page = host.LoadLayout(GetInstallFolder() + "skin/" + layout);
        if (page == nullptr) fuzz::Fail("a page layout is missing beside the executable");
        device = std::make_unique<Device>(peer.Backend());
        view = CPageBuilder::MakePage(*device, host, page, nullptr);
    }
    void Run(Input& input, int linkMode) {
        peer.SetScript([&input](const Report& request) { return input.Reply(request); });
        peer.Attach(device->Transport(), linkMode);
        device->ReadFromDevice();
        device->StopLightingThread();
        device->WriteToDevice(0, 0, 1, 1920, 1080);
        device->Transport().SetOpened(false);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    fuzz::ScratchFolder();  // profiles go to the scratch folder
    static Rig<CVantrelMouseDevice> mouse(0x222E, "mousedevice.ui");
    static Rig<CVantrelMousePadDevice> pad(0x1004, "mousepaddevice.ui");
    if (size < 1) return 0;
    Input input;
    input.next = bytes + 1;
    input.left = size - 1;
    const int linkMode = (bytes[0] & 2) != 0 ? LinkReceiver : LinkWired;
    if ((bytes[0] & 1) != 0) pad.Run(input, LinkWired);
    else mouse.Run(input, linkMode);
    return 0;
}
