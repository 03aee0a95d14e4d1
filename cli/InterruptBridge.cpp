#include "InterruptBridge.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_count = 0;

void OnSignal(int Signal) {
    g_count = g_count + 1;
    if (g_count > 1) _exit(128 + Signal);
    const char byte = static_cast<char>(Signal);
    // Nothing sensible can be done in a handler when the write fails; the pipe is never full
    // since only the first signal writes.
    [[maybe_unused]] const ssize_t unused = write(g_pipe[1], &byte, 1);
}

}  // namespace

TInterruptBridge::TInterruptBridge(std::function<void(int)> OnInterrupt)
    : m_onInterrupt(std::move(OnInterrupt)) {
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TInterruptBridge::ReadPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

TInterruptBridge::~TInterruptBridge() {
    if (!m_notifier) return;
    for (int signal : kSignals) std::signal(signal, SIG_DFL);
    m_notifier.reset();
    close(g_pipe[0]);
    close(g_pipe[1]);
}

void TInterruptBridge::ReadPipe() {
    char buffer[16];
    int signal = 0;
    for (ssize_t n; (n = read(g_pipe[0], buffer, sizeof buffer)) > 0;)
        if (signal == 0) signal = static_cast<unsigned char>(buffer[0]);
    if (signal != 0 && m_onInterrupt) m_onInterrupt(signal);
}
