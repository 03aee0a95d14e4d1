#pragma once
// Hands work from the engine's own threads (the fetch workers and the tick driver) to the GUI
// thread. Tasks wait in a queue under our own mutex, and an eventfd watched by a socket notifier
// on the GUI thread wakes its event loop. Every value thus crosses threads through a lock that
// race detectors see; Qt's own posted events pass futex locks that they cannot see.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TNoticeQueue {
    struct TKey {};

public:
    // GUI thread: the queue whose tasks run on the application's event loop, made by the first
    // call and run for as long as the application object lives. A holder may keep it longer:
    // then its tasks only wait, and are dropped with the last holder.
    static std::shared_ptr<TNoticeQueue> Main();

    explicit TNoticeQueue(TKey);
    ~TNoticeQueue();
    TNoticeQueue(const TNoticeQueue&) = delete;
    TNoticeQueue& operator=(const TNoticeQueue&) = delete;

    // Any thread: Task runs on the GUI thread after every task posted before it, in whichever
    // event loop runs there, a nested one included.
    void Post(std::function<void()> Task);

private:
    // GUI thread: runs the tasks that wait, in order. A task may run a nested event loop, which
    // goes on with the tasks after it; so tasks are taken one at a time.
    void RunPosted();
    void Signal();

    std::mutex m_lock;
    std::deque<std::function<void()>> m_tasks;  // guarded by m_lock
    bool m_signalled = false;  // guarded by m_lock: a wake-up is written and not read yet
    int m_wakeFd = -1;         // the eventfd; -1 when none could be made (a timer polls then)
};
