#pragma once
// Window messages from devices and workers to the owner window: Send blocks
// until the UI thread handled the message, Post queues it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace m470::ui {

// Message ids of the device messages and the device manager.
inline constexpr uint32_t kMsgActiveRecord = 0x0D00;  // wParam: record index read from the device
inline constexpr uint32_t kMsgBattery = 0x0D01;       // wParam: status byte 4
inline constexpr uint32_t kMsgLink = 0x0D03;          // wParam: model index, lParam: 1 shown / 0 hidden
inline constexpr uint32_t kMsgInterfaceArrived = 3090;
inline constexpr uint32_t kMsgInterfaceLost = 3091;

using MessageHandler = std::function<intptr_t(uint32_t message, intptr_t wParam, intptr_t lParam)>;

class MessageChannel {
public:
    virtual ~MessageChannel() = default;
    virtual intptr_t Send(uint32_t message, intptr_t wParam, intptr_t lParam) = 0;
    virtual void Post(uint32_t message, intptr_t wParam, intptr_t lParam) = 0;
};

// A channel whose UI thread (the one that created it) runs the handler in
// Pump(). A Send from the UI thread runs at once; from another thread it waits
// for the next Pump, or fails with 0 after Shutdown so a worker being joined
// never waits for a UI thread that is waiting for it.
class QueuedMessageChannel : public MessageChannel {
public:
    explicit QueuedMessageChannel(MessageHandler handler);
    ~QueuedMessageChannel() override;

    intptr_t Send(uint32_t message, intptr_t wParam, intptr_t lParam) override;
    void Post(uint32_t message, intptr_t wParam, intptr_t lParam) override;
    // Runs every queued message on the calling (UI) thread; returns how many.
    size_t Pump();
    // Waits up to timeoutMs for something to pump.
    bool WaitForMessage(int timeoutMs);
    void Shutdown();

private:
    struct Pending {
        uint32_t message;
        intptr_t wParam, lParam;
        std::shared_ptr<std::promise<intptr_t>> reply;  // null for posted messages
    };
    MessageHandler handler_;
    std::thread::id uiThread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Pending> queue_;
    bool shutdown_ = false;
};

}  // namespace m470::ui
