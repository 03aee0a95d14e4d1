#include "TNoticeQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>

std::shared_ptr<TNoticeQueue> TNoticeQueue::Main() {
    // Both are touched on the GUI thread only, like the application object they belong to.
    static std::weak_ptr<TNoticeQueue> current;
    static QPointer<QObject> waker;
    if (auto queue = current.lock(); queue && waker) return queue;

    auto queue = std::make_shared<TNoticeQueue>(TKey{});
    QObject* app = QCoreApplication::instance();
    if (queue->m_wakeFd >= 0) {
        auto* notifier = new QSocketNotifier(queue->m_wakeFd, QSocketNotifier::Read, app);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [queue] { queue->RunPosted(); });
        waker = notifier;
    } else {
        // Without a descriptor to spare the queue is still served, a little later.
        auto* timer = new QTimer(app);
        QObject::connect(timer, &QTimer::timeout, timer, [queue] { queue->RunPosted(); });
        timer->start(5);
        waker = timer;
    }
    current = queue;
    return queue;
}

TNoticeQueue::TNoticeQueue(TKey) : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TNoticeQueue::~TNoticeQueue() {
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void TNoticeQueue::Post(std::function<void()> Task) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tasks.push_back(std::move(Task));
        wake = !m_signalled;
        m_signalled = true;
    }
    if (wake) Signal();
}

void TNoticeQueue::Signal() {
    if (m_wakeFd < 0) return;
    const std::uint64_t one = 1;
    while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TNoticeQueue::RunPosted() {
    // The wake-up is read before the flag is cleared: a task posted in between is either seen
    // below or writes a new wake-up, never neither.
    if (m_wakeFd >= 0) {
        std::uint64_t count = 0;
        while (read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    std::size_t budget = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_signalled = false;
        budget = m_tasks.size();
    }
    // Only the tasks already waiting: workers that keep posting must not starve the loop's other
    // events; the rest runs at the next wake-up.
    for (; budget > 0; --budget) {
        std::function<void()> task;
        bool wake = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_tasks.empty()) return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
            // The tasks behind this one must reach any event loop that it runs itself.
            wake = !m_tasks.empty() && !m_signalled;
            if (wake) m_signalled = true;
        }
        if (wake) Signal();
        task();
    }
}
