#pragma once
// The scheduler's driver thread. It does no work itself: it hands one tick at a time to the GUI
// thread (through the notice queue), waits for it, then pauses as the tick asks. It ends when
// interruption is requested; Finished then runs on the GUI thread, after the thread has ended.
// The object is shared by its owner, its thread and the tasks on their way, and goes with the
// last of them.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TNoticeQueue;

// How long the driver pauses after a tick. A fixed pause is a plain sleep (the classic 50 ms
// rhythm); a wakeable one ends early when Wake is called, and a zero one ticks again at once.
struct TTickPace {
    int WaitMs = 50;
    bool Wakeable = false;
};

class TDwnldThread : public std::enable_shared_from_this<TDwnldThread> {
public:
    // GUI thread. Tick runs on the GUI thread and tells how to pause before the next one;
    // Finished once, on the GUI thread, after the end. Made through std::make_shared.
    TDwnldThread(std::function<TTickPace()> Tick, std::function<void()> Finished);
    TDwnldThread(const TDwnldThread&) = delete;
    TDwnldThread& operator=(const TDwnldThread&) = delete;
    ~TDwnldThread();

    // GUI thread: starts the thread. False, with the system's reason in Why, when it cannot;
    // then nothing runs, Finished included.
    bool Start(std::string& Why);
    // GUI thread: the owner is gone; no tick or end handler may reach it any more, and the
    // thread ends alone.
    void Detach();
    // Any thread: ends the thread after the tick it waits for, if any.
    void RequestInterruption();
    bool InterruptionRequested() const;
    // Any thread: ends a wakeable pause now, or the next one at once if none is running. Cheap
    // enough to call for every worker's end notice.
    void Wake();

private:
    void Run();
    void RunTick();
    void Pause(const TTickPace& Pace);
    void Ended();

    std::function<TTickPace()> m_tick;  // GUI thread only
    std::function<void()> m_finished;   // GUI thread only
    std::shared_ptr<TNoticeQueue> m_queue;
    std::thread m_thread;  // GUI thread only: joined at the end, or detached with the owner
    std::atomic<bool> m_interrupted{false};
    // The tick's hand-over: the driver waits on its own mutex and condition until the GUI thread
    // has run the tick, and reads the pace it stored.
    std::mutex m_tickLock;
    std::condition_variable m_tickDone;
    bool m_tickEnded = false;  // guarded by m_tickLock
    TTickPace m_pace;          // guarded by m_tickLock
    std::mutex m_mutex;        // the wake-up of a pause
    std::condition_variable m_wakeup;
    bool m_woken = false;  // guarded by m_mutex
};
