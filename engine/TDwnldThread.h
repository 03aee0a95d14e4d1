#pragma once
// The scheduler's driver thread. It does no work itself: it hands one tick at a time to the GUI
// thread (a blocking queued call on this object, which lives there), waits for it, then pauses
// as the tick asks. It ends when interruption is requested; Finished then runs on the GUI
// thread and the object deletes itself.

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// How long the driver pauses after a tick. A fixed pause is a plain sleep (the classic 50 ms
// rhythm); a wakeable one ends early when Wake is called, and a zero one ticks again at once.
struct TTickPace {
    int WaitMs = 50;
    bool Wakeable = false;
};

class TDwnldThread : public QThread {
    Q_OBJECT
public:
    // Tick runs on the GUI thread and tells how to pause before the next one; Finished once, on
    // the GUI thread, after the end.
    TDwnldThread(std::function<TTickPace()> Tick, std::function<void()> Finished);

    // GUI thread: the owner is gone; no tick or end handler may reach it any more.
    void Detach();
    // Any thread: ends a wakeable pause now, or the next one at once if none is running. Cheap
    // enough to call for every worker's end notice.
    void Wake();

signals:
    // Emitted by the driver thread; runs RunTick on the GUI thread.
    void TickRequested();

protected:
    void run() override;

private:
    void RunTick();
    void Pause(const TTickPace& Pace);

    std::function<TTickPace()> m_tick;  // GUI thread only
    std::function<void()> m_finished;   // GUI thread only
    // The tick's hand-over: the driver asks through a queued connection made on the GUI thread
    // and waits on its own mutex and condition, not inside Qt, so that race detectors see every
    // value pass in both directions.
    std::mutex m_tickLock;
    std::condition_variable m_tickDone;
    std::atomic<bool> m_tickEnded{false};  // released after the pace is stored
    std::atomic<int> m_paceMs{0};
    std::atomic<bool> m_paceWakeable{false};
    std::atomic<bool> m_runEnded{false};  // released as the last act of run()
    std::mutex m_mutex;                   // the wake-up of a pause
    std::condition_variable m_wakeup;
    bool m_woken = false;  // guarded by m_mutex
};
