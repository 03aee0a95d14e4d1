#pragma once
// Carries SIGINT, SIGTERM and SIGHUP from the signal handler into the event loop. The handler
// only writes the signal's number to a pipe (async-signal-safe); a socket notifier reads it on
// the main thread. A second signal of any of them ends the process at once with 128 + its
// number.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TInterruptBridge : public QObject {
    Q_OBJECT
public:
    // OnInterrupt runs on the main thread after the first signal, with its number.
    explicit TInterruptBridge(std::function<void(int Signal)> OnInterrupt);
    ~TInterruptBridge() override;
    TInterruptBridge(const TInterruptBridge&) = delete;
    TInterruptBridge& operator=(const TInterruptBridge&) = delete;

    bool Installed() const { return m_notifier != nullptr; }

private:
    void ReadPipe();

    std::function<void(int)> m_onInterrupt;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
