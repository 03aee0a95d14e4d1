#include "TCloseSignal.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP};

void OnSignal(int) {
    const char byte = 1;
    // A full pipe already holds a pending request; nothing else can be done in a handler.
    [[maybe_unused]] const ssize_t unused = write(g_pipe[1], &byte, 1);
}

}  // namespace

TCloseSignal::TCloseSignal(std::function<void()> OnSignal) : m_onSignal(std::move(OnSignal)) {
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TCloseSignal::ReadPipe);
    struct sigaction action {};
    action.sa_handler = ::OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) sigaction(number, &action, nullptr);
}

TCloseSignal::~TCloseSignal() {
    if (!m_notifier) return;
    for (const int number : kSignals) std::signal(number, SIG_DFL);
    m_notifier.reset();
    close(g_pipe[0]);
    close(g_pipe[1]);
}

void TCloseSignal::ReadPipe() {
    char buffer[16];
    while (read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    if (m_onSignal) m_onSignal();
}
