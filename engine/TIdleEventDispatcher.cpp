#include "TIdleEventDispatcher.h"

bool TIdleEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags) {
    return false;
}
void TIdleEventDispatcher::registerSocketNotifier(QSocketNotifier*) {}
void TIdleEventDispatcher::unregisterSocketNotifier(QSocketNotifier*) {}
void TIdleEventDispatcher::registerTimer(int, qint64, Qt::TimerType, QObject*) {}
bool TIdleEventDispatcher::unregisterTimer(int) {
    return false;
}
bool TIdleEventDispatcher::unregisterTimers(QObject*) {
    return false;
}
QList<QAbstractEventDispatcher::TimerInfo> TIdleEventDispatcher::registeredTimers(QObject*) const {
    return {};
}
int TIdleEventDispatcher::remainingTime(int) {
    return -1;
}
void TIdleEventDispatcher::wakeUp() {}
void TIdleEventDispatcher::interrupt() {}
