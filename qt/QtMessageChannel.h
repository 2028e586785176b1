#pragma once
// Window messages over the Qt event loop: Send from another thread queues
// the call to the UI thread and waits for it, giving up when the channel
// shuts down so a worker being joined never waits for the UI thread.
#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

#include "ui/MessageChannel.h"

namespace m470::qt {

// Calls handed from any thread to the thread of this object, run in the
// order given. The calls pass through a queue under our own lock; Qt's event
// only says "one more is due", so what a call carries is never shared
// through Qt's internals alone.
class UiCallQueue : public QObject {
    Q_OBJECT
public:
    explicit UiCallQueue(QThread* uiThread);
    void Post(std::function<void()> call);

private slots:
    void RunOne();

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

class QtMessageChannel : public ui::MessageChannel {
public:
    QtMessageChannel(QObject* uiObject, ui::MessageHandler handler);
    intptr_t Send(uint32_t message, intptr_t wParam, intptr_t lParam) override;
    void Post(uint32_t message, intptr_t wParam, intptr_t lParam) override;
    void Shutdown() { shutdown_ = true; }
    // Runs work on the UI thread later (device threads use it).
    void Invoke(std::function<void()> work);

private:
    QObject* uiObject_;
    ui::MessageHandler handler_;
    std::atomic<bool> shutdown_{false};
    UiCallQueue calls_;
};

}  // namespace m470::qt
