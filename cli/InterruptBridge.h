#pragma once
// Carries SIGINT from the signal handler into the event loop. The handler only writes one byte
// to a pipe (async-signal-safe); a socket notifier reads it on the main thread. A second SIGINT
// ends the process at once with status 130.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TInterruptBridge : public QObject {
    Q_OBJECT
public:
    // OnInterrupt runs on the main thread after the first SIGINT.
    explicit TInterruptBridge(std::function<void()> OnInterrupt);
    ~TInterruptBridge() override;
    TInterruptBridge(const TInterruptBridge&) = delete;
    TInterruptBridge& operator=(const TInterruptBridge&) = delete;

    bool Installed() const { return m_notifier != nullptr; }

private:
    void ReadPipe();

    std::function<void()> m_onInterrupt;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
