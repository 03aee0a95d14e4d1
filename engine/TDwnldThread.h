#pragma once
// The scheduler's driver thread. It does no work itself: every 50 ms it hands one tick to the
// GUI thread (a blocking queued call on this object, which lives there) and waits for it. It
// ends when interruption is requested; Finished then runs on the GUI thread and the object
// deletes itself.

#include <QThread>

#include <functional>

class TDwnldThread : public QThread {
    Q_OBJECT
public:
    // Tick runs on the GUI thread every 50 ms; Finished once, on the GUI thread, after the end.
    TDwnldThread(std::function<void()> Tick, std::function<void()> Finished);

    // GUI thread: the owner is gone; no tick or end handler may reach it any more.
    void Detach();

protected:
    void run() override;

private:
    std::function<void()> m_tick;
    std::function<void()> m_finished;
};
