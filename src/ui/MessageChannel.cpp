#include "ui/MessageChannel.h"

namespace m470::ui {

QueuedMessageChannel::QueuedMessageChannel(MessageHandler handler)
    : handler_(std::move(handler)), uiThread_(std::this_thread::get_id()) {}

QueuedMessageChannel::~QueuedMessageChannel() { Shutdown(); }

intptr_t QueuedMessageChannel::Send(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (std::this_thread::get_id() == uiThread_) return handler_(message, wParam, lParam);
    auto reply = std::make_shared<std::promise<intptr_t>>();
    std::future<intptr_t> answer = reply->get_future();
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return 0;
        queue_.push_back({message, wParam, lParam, reply});
    }
    arrived_.notify_all();
    return answer.get();
}

void QueuedMessageChannel::Post(uint32_t message, intptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return;
        queue_.push_back({message, wParam, lParam, nullptr});
    }
    arrived_.notify_all();
}

size_t QueuedMessageChannel::Pump() {
    std::deque<Pending> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
    }
    for (Pending& pending : batch) {
        const intptr_t result = handler_(pending.message, pending.wParam, pending.lParam);
        if (pending.reply) pending.reply->set_value(result);
    }
    return batch.size();
}

bool QueuedMessageChannel::WaitForMessage(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty() || shutdown_; }) &&
           !queue_.empty();
}

void QueuedMessageChannel::Shutdown() {
    std::deque<Pending> left;
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
        left.swap(queue_);
    }
    for (Pending& pending : left)
        if (pending.reply) pending.reply->set_value(0);
    arrived_.notify_all();
}

}  // namespace m470::ui
