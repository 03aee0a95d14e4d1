#include "TDwnldThread.h"

#include <chrono>

TDwnldThread::TDwnldThread(std::function<TTickPace()> Tick, std::function<void()> Finished)
    : m_tick(std::move(Tick)), m_finished(std::move(Finished)) {
    connect(this, &QThread::finished, this, [this] {
        if (m_finished) m_finished();
        deleteLater();
    });
    connect(this, &TDwnldThread::TickRequested, this, &TDwnldThread::RunTick, Qt::QueuedConnection);
}

void TDwnldThread::RunTick() {
    TTickPace pace;
    if (m_tick) pace = m_tick();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pace = pace;
        m_tickEnded = true;
    }
    m_tickDone.notify_one();
}

void TDwnldThread::Detach() {
    m_tick = nullptr;
    m_finished = nullptr;
    requestInterruption();
    Wake();
}

void TDwnldThread::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_wakeup.notify_one();
}

void TDwnldThread::run() {
    while (!isInterruptionRequested()) {
        // A notice that arrives while the tick runs must cut the following pause short, so the
        // flag is cleared before the tick, not after it.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_woken = false;
            m_tickEnded = false;
        }
        emit TickRequested();
        TTickPace pace;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_tickDone.wait(lock, [this] { return m_tickEnded; });
            pace = m_pace;
        }
        if (isInterruptionRequested()) break;
        Pause(pace);
    }
}

void TDwnldThread::Pause(const TTickPace& Pace) {
    if (Pace.WaitMs <= 0) return;
    if (!Pace.Wakeable) {
        QThread::msleep(static_cast<unsigned long>(Pace.WaitMs));
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wakeup.wait_for(lock, std::chrono::milliseconds(Pace.WaitMs),
                      [this] { return m_woken || isInterruptionRequested(); });
}
