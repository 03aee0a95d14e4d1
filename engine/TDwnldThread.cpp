#include "TDwnldThread.h"

namespace {
constexpr unsigned long kTickMs = 50;
}

TDwnldThread::TDwnldThread(std::function<void()> Tick, std::function<void()> Finished)
    : m_tick(std::move(Tick)), m_finished(std::move(Finished)) {
    connect(this, &QThread::finished, this, [this] {
        if (m_finished) m_finished();
        deleteLater();
    });
}

void TDwnldThread::Detach() {
    m_tick = nullptr;
    m_finished = nullptr;
    requestInterruption();
}

void TDwnldThread::run() {
    while (!isInterruptionRequested()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_tick) m_tick();
            },
            Qt::BlockingQueuedConnection);
        if (isInterruptionRequested()) break;
        QThread::msleep(kTickMs);
    }
}
