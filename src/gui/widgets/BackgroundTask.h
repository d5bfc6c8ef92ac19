#pragma once
// Runs one piece of drive work on a worker thread and hands its result to
// the UI thread. The owner's destruction asks the work to stop and joins the
// thread before anything it touches is freed; a result that arrives after
// that is dropped.

#include <QObject>
#include <QPointer>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

namespace hx::gui {

class BackgroundTask : public QObject {
    Q_OBJECT
public:
    explicit BackgroundTask(QObject* parent = nullptr) : QObject(parent) {}
    ~BackgroundTask() override { stopAndWait(); }

    bool running() const { return m_running; }

    // work(stop_token) runs on the worker; done(result) on the UI thread.
    template <class Work, class Done>
    void start(Work work, Done done) {
        stopAndWait();
        m_running = true;
        m_thread = std::jthread([this, work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
            auto result = work(stop);
            QMetaObject::invokeMethod(
                this,
                [this, done = std::move(done), result = std::move(result)]() mutable {
                    m_running = false;
                    done(std::move(result));
                },
                Qt::QueuedConnection);
        });
    }

    void requestStop() {
        if (m_thread.joinable()) m_thread.request_stop();
    }
    void stopAndWait() {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
    }

private:
    std::jthread m_thread;
    bool m_running = false;
};

}  // namespace hx::gui
