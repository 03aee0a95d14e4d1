#pragma once
// Turns SIGTERM and SIGHUP (the session ending, `kill`) into a call on the main thread, so that
// the window can end in order and save its settings instead of dying. The handler only writes one
// byte to a pipe (async-signal-safe); a socket notifier reads it on the main thread. One object at
// a time.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TCloseSignal : public QObject {
    Q_OBJECT
public:
    // OnSignal runs on the main thread after each signal.
    explicit TCloseSignal(std::function<void()> OnSignal);
    ~TCloseSignal() override;
    TCloseSignal(const TCloseSignal&) = delete;
    TCloseSignal& operator=(const TCloseSignal&) = delete;

private:
    void ReadPipe();

    std::function<void()> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
