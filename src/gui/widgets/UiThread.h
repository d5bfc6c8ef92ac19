#pragma once
// Jobs report on their worker threads; windows live on the UI thread. These
// carry a job's callback over as a queued call, so a window's handlers run
// where its widgets live. A call queued for a receiver that is destroyed
// before it runs is dropped by Qt; the receiver must still stop and join its
// job before it goes, so that no callback starts after it is gone.

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <type_traits>
#include <utility>

namespace hx::gui {

// Runs f() on receiver's thread at the next turn of its event loop.
template <class F>
void OnUiThread(QObject* receiver, F&& f) {
    QMetaObject::invokeMethod(receiver, std::forward<F>(f), Qt::QueuedConnection);
}

// A callback to hand a job: called on the worker with args, it runs
// f(args...) on receiver's thread with copies of the arguments.
template <class... Args, class F>
std::function<void(Args...)> UiCallback(QObject* receiver, F f) {
    return [receiver, f = std::move(f)](Args... args) {
        OnUiThread(receiver, [f, ... copies = std::decay_t<Args>(args)]() mutable { f(copies...); });
    };
}

}  // namespace hx::gui
