#pragma once
// An event dispatcher for threads that never run an event loop. Qt gives every thread it
// starts a full dispatcher (a GLib main context with its own wake-up descriptor); a fetch
// worker blocks in libcurl and only posts to the GUI thread, so that set-up would be paid for
// every download and never used. Posting events to objects of such a thread is not supported.

#include <QAbstractEventDispatcher>

class TIdleEventDispatcher : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    using QAbstractEventDispatcher::QAbstractEventDispatcher;

    bool processEvents(QEventLoop::ProcessEventsFlags Flags) override;
    void registerSocketNotifier(QSocketNotifier* Notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* Notifier) override;
    void registerTimer(int TimerId, qint64 Interval, Qt::TimerType Type, QObject* Object) override;
    bool unregisterTimer(int TimerId) override;
    bool unregisterTimers(QObject* Object) override;
    QList<TimerInfo> registeredTimers(QObject* Object) const override;
    int remainingTime(int TimerId) override;
    void wakeUp() override;
    void interrupt() override;
};
