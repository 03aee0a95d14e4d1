#include "TDwnldThread.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

#include "TNoticeQueue.h"

namespace {
constexpr int kTickBurst = 16;
}  // namespace

TDwnldThread::TDwnldThread(std::function<TTickPace()> Tick, std::function<void()> Finished)
    : m_tick(std::move(Tick)), m_finished(std::move(Finished)), m_queue(TNoticeQueue::Main()) {}

bool TDwnldThread::Start(std::string& Why) {
    try {
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
        return true;
    } catch (const std::system_error& e) {
        Why = e.code().message();
        return false;
    }
}

void TDwnldThread::RunTick() {
    TTickPace pace;
    if (m_tick) pace = m_tick();
    // Ticks that ask for no pause follow each other here, a few in a row, without a round trip
    // through the driver thread for each; then the GUI thread's own event loop has its turn.
    for (int burst = 1;
         burst < kTickBurst && pace.WaitMs <= 0 && m_tick && !InterruptionRequested(); ++burst)
        pace = m_tick();
    {
        std::lock_guard<std::mutex> lock(m_tickLock);
        m_pace = pace;
        m_tickEnded = true;
    }
    m_tickDone.notify_one();
}

void TDwnldThread::Ended() {
    // Posted as the thread's last act: it has all but returned.
    if (m_thread.joinable()) m_thread.join();
    if (m_finished) m_finished();
}

void TDwnldThread::Detach() {
    m_tick = nullptr;
    m_finished = nullptr;
    RequestInterruption();
    Wake();
    if (m_thread.joinable()) m_thread.detach();
}

TDwnldThread::~TDwnldThread() {
    // Only when its end never ran (the program ends): the thread may be this very one.
    if (m_thread.joinable()) m_thread.detach();
}

void TDwnldThread::RequestInterruption() {
    m_interrupted.store(true, std::memory_order_relaxed);
}

bool TDwnldThread::InterruptionRequested() const {
    return m_interrupted.load(std::memory_order_relaxed);
}

void TDwnldThread::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_wakeup.notify_one();
}

void TDwnldThread::Run() {
    pthread_setname_np(pthread_self(), "tarnwick-tick");
    while (!InterruptionRequested()) {
        // A notice that arrives while the tick runs must cut the following pause short, so the
        // flag is cleared before the tick, not after it.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_woken = false;
        }
        {
            std::lock_guard<std::mutex> lock(m_tickLock);
            m_tickEnded = false;
        }
        m_queue->Post([self = shared_from_this()] { self->RunTick(); });
        TTickPace pace;
        {
            std::unique_lock<std::mutex> lock(m_tickLock);
            m_tickDone.wait(lock, [this] { return m_tickEnded; });
            pace = m_pace;
        }
        if (InterruptionRequested()) break;
        Pause(pace);
    }
    m_queue->Post([self = shared_from_this()] { self->Ended(); });
}

void TDwnldThread::Pause(const TTickPace& Pace) {
    if (Pace.WaitMs <= 0) return;
    if (!Pace.Wakeable) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Pace.WaitMs));
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wakeup.wait_for(lock, std::chrono::milliseconds(Pace.WaitMs),
                      [this] { return m_woken || InterruptionRequested(); });
}
