#include "qt/QtMessageChannel.h"

#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>

namespace m470::qt {

QtMessageChannel::QtMessageChannel(QObject* uiObject, ui::MessageHandler handler)
    : uiObject_(uiObject), handler_(std::move(handler)) {}

intptr_t QtMessageChannel::Send(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (QThread::currentThread() == uiObject_->thread()) return handler_(message, wParam, lParam);
    if (shutdown_) return 0;
    auto reply = std::make_shared<std::promise<intptr_t>>();
    std::future<intptr_t> answer = reply->get_future();
    QMetaObject::invokeMethod(
        uiObject_,
        [this, reply, message, wParam, lParam] { reply->set_value(shutdown_ ? 0 : handler_(message, wParam, lParam)); },
        Qt::QueuedConnection);
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (shutdown_) return 0;
    return answer.get();
}

void QtMessageChannel::Post(uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (shutdown_) return;
    QMetaObject::invokeMethod(uiObject_, [this, message, wParam, lParam] {
        if (!shutdown_) handler_(message, wParam, lParam);
    }, Qt::QueuedConnection);
}

void QtMessageChannel::Invoke(std::function<void()> work) {
    if (shutdown_) return;
    QMetaObject::invokeMethod(uiObject_, [this, work = std::move(work)] {
        if (!shutdown_) work();
    }, Qt::QueuedConnection);
}

}  // namespace m470::qt
