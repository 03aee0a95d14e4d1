#pragma once
// Runs the Qt event loop of the test's GUI thread until a condition holds or a time limit
// passes. Engine notices and ticks arrive only while the loop runs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Lets pending events run for a while, for checks that something does NOT happen.
inline void SpinFor(int ms) {
    WaitFor([] { return false; }, ms);
}
