#include "TDwnldThread.h"

#include <chrono>

namespace {
constexpr int kTickBurst = 16;
}  // namespace

TDwnldThread::TDwnldThread(std::function<TTickPace()> Tick, std::function<void()> Finished)
    : m_tick(std::move(Tick)), m_finished(std::move(Finished)) {
    connect(this, &QThread::finished, this, [this] {
        // Pairs with the end of run(): everything the thread did happens before the delete.
        m_runEnded.load(std::memory_order_acquire);
        if (m_finished) m_finished();
        deleteLater();
    });
    connect(this, &TDwnldThread::TickRequested, this, &TDwnldThread::RunTick, Qt::QueuedConnection);
}

void TDwnldThread::RunTick() {
    TTickPace pace;
    if (m_tick) pace = m_tick();
    // Ticks that ask for no pause follow each other here, a few in a row, without a round trip
    // through the driver thread for each; then the GUI thread's own event loop has its turn.
    for (int burst = 1;
         burst < kTickBurst && pace.WaitMs <= 0 && m_tick && !isInterruptionRequested(); ++burst)
        pace = m_tick();
    m_paceMs.store(pace.WaitMs, std::memory_order_relaxed);
    m_paceWakeable.store(pace.Wakeable, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(m_tickLock);
        m_tickEnded.store(true, std::memory_order_release);
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
        }
        {
            std::lock_guard<std::mutex> lock(m_tickLock);
            m_tickEnded.store(false, std::memory_order_relaxed);
        }
        emit TickRequested();
        TTickPace pace;
        {
            std::unique_lock<std::mutex> lock(m_tickLock);
            m_tickDone.wait(lock, [this] { return m_tickEnded.load(std::memory_order_acquire); });
            pace = {m_paceMs.load(std::memory_order_relaxed),
                    m_paceWakeable.load(std::memory_order_relaxed)};
        }
        if (isInterruptionRequested()) break;
        Pause(pace);
    }
    m_runEnded.store(true, std::memory_order_release);
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
