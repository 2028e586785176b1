#pragma once
// A virtual interface-1 node whose command collection answers like a very
// small device: it records every request and replies through a script that a
// test can replace. Default script: echo the command, status 0, and for reads
// copy the requested bytes from a flat memory.
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_link/HidTransport.h"
#include "device_link/VirtualHidBackend.h"
#include "sim/ProductDescriptors.h"

namespace m470::test {

using Bytes = std::vector<uint8_t>;

class ScriptedPeer {
public:
    // Replies to push for one request (each padded to 64 bytes), with a delay.
    struct Answer {
        std::vector<Bytes> replies;
        std::chrono::microseconds delay{0};
    };
    using Script = std::function<Answer(const Report& request)>;

    explicit ScriptedPeer(uint16_t productId = 0x222E)
        : backend_(std::make_shared<VirtualHidBackend>()), memory_(65536, 0) {
        // The cable and the receiver are separate nodes with the same answers.
        interface_ = backend_->Plug({0x320F, productId, 0x0107, 1, InterfaceOneDescriptor()});
        receiver_ = backend_->Plug({0x320F, static_cast<uint16_t>(productId + 1), 0x0107, 1, InterfaceOneDescriptor()});
        const VirtualWriteHandler handler = [this](VirtualHidInterface& from, std::span<const uint8_t> report, bool) {
            Report request{};
            std::copy_n(report.begin(), std::min(report.size(), request.size()), request.begin());
            Answer answer;
            Script script;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                script = script_;
            }
            answer = script ? script(request) : DefaultAnswer(request);
            for (Bytes reply : answer.replies) {
                reply.resize(64, 0);
                from.PushInput(reply, answer.delay);
            }
            return true;
        };
        interface_->SetWriteHandler(handler);
        receiver_->SetWriteHandler(handler);
    }

    std::shared_ptr<VirtualHidBackend> Backend() const { return backend_; }
    std::shared_ptr<VirtualHidInterface> Interface() const { return interface_; }
    std::string CommandPath() { return FindPath(interface_->Node() + "&"); }
    std::string ReceiverCommandPath() { return FindPath(receiver_->Node() + "&"); }

    void SetScript(Script script) {
        std::lock_guard lock(mutex_);
        script_ = std::move(script);
    }
    std::vector<Report> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }
    Bytes& Memory() { return memory_; }

    // Reply of the default script: echo, status, data for reads.
    Answer DefaultAnswer(const Report& request) {
        Bytes reply(64, 0);
        reply[0] = request[0];
        reply[3] = request[3];
        const size_t length = request[4];
        const size_t address = request[5] | request[6] << 8;
        const bool isRead = request[3] == 0x03 || request[3] == 0x05 || request[3] == 0x07 || request[3] == 0x0A ||
                            request[3] == 0x1A || request[3] == 0x1B;
        std::lock_guard lock(mutex_);
        if (isRead)
            for (size_t i = 0; i < length && i < 56; ++i) reply[8 + i] = memory_[(address + i) % memory_.size()];
        else
            for (size_t i = 0; i < length && i < 56; ++i) memory_[(address + i) % memory_.size()] = request[8 + i];
        if (request[3] == 0xAA) reply[8] = 0xFF;
        return {{reply}, {}};
    }

    // A transport whose primary (wired) and secondary (receiver) interface are
    // both this peer's command collection, opened as the device manager does.
    void Attach(CHidTransport& transport, int linkMode) {
        transport.Primary().Open(CommandPath(), true, true, true, false);
        transport.Secondary().Open(ReceiverCommandPath(), true, true, true, false);
        transport.SetLinkMode(linkMode);
        transport.SetOpened(true);
    }

private:
    // The command collection (the fourth) of the node.
    std::string FindPath(const std::string& nodePrefix) {
        for (const std::string& path : backend_->EnumerateInterfaces())
            if (path.rfind(nodePrefix, 0) == 0 && path.find("&col04") != std::string::npos) return path;
        return {};
    }

    std::shared_ptr<VirtualHidBackend> backend_;
    std::shared_ptr<VirtualHidInterface> interface_;
    std::shared_ptr<VirtualHidInterface> receiver_;
    std::mutex mutex_;
    std::vector<Report> requests_;
    Script script_;
    Bytes memory_;
};

inline Bytes ReplyTo(const Report& request, uint8_t command, uint8_t status = 0) {
    Bytes reply(64, 0);
    reply[0] = request[0];
    reply[3] = command;
    reply[7] = status;
    return reply;
}

}  // namespace m470::test
