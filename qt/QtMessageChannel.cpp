#include "qt/QtMessageChannel.h"

#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>

namespace m470::qt {

UiCallQueue::UiCallQueue(QThread* uiThread) { moveToThread(uiThread); }

void UiCallQueue::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(this, "RunOne", Qt::QueuedConnection);
}

void UiCallQueue::RunOne() {
    std::function<void()> call;
    {
        std::lock_guard lock(mutex_);
        if (calls_.empty()) return;
        call = std::move(calls_.front());
        calls_.pop_front();
    }
    call();
}

QtMessageChannel::QtMessageChannel(QObject* uiObject, ui::MessageHandler handler)
    : uiObject_(uiObject), handler_(std::move(handler)), calls_(uiObject->thread()) {}

intptr_t QtMessageChannel::Send(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (QThread::currentThread() == uiObject_->thread()) return handler_(message, wParam, lParam);
    if (shutdown_) return 0;
    auto reply = std::make_shared<std::promise<intptr_t>>();
    std::future<intptr_t> answer = reply->get_future();
    calls_.Post([this, reply, message, wParam, lParam] { reply->set_value(shutdown_ ? 0 : handler_(message, wParam, lParam)); });
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (shutdown_) return 0;
    return answer.get();
}

void QtMessageChannel::Post(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (shutdown_) return;
    calls_.Post([this, message, wParam, lParam] {
        if (!shutdown_) handler_(message, wParam, lParam);
    });
}

void QtMessageChannel::Invoke(std::function<void()> work) {
    if (shutdown_) return;
    calls_.Post([this, work = std::move(work)] {
        if (!shutdown_) work();
    });
}

}  // namespace m470::qt
