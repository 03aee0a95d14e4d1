// Time from StopFetch to the worker's end notice, for a worker blocked before the response
// headers, after them, and in the middle of an endless body.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CurlSupport.h"
#include "THttpGet.h"

namespace {

enum class Stall { BeforeHeaders, AfterHeaders, InBody };

// A server on 127.0.0.1 that reads each request and then stalls as told, until the client
// goes away.
class StallingServer {
public:
    explicit StallingServer(Stall stall) : m_stall(stall) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 64);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~StallingServer() {
        m_stop = true;
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_thread.join();
        for (auto& t : m_clients) t.join();
    }
    int Port() const { return m_port; }
    int Accepted() const { return m_accepted; }

private:
    void Serve() {
        while (!m_stop) {
            int client = accept(m_listener, nullptr, nullptr);
            if (client < 0) return;
            ++m_accepted;
            m_clients.emplace_back([this, client] { Handle(client); });
        }
    }
    void Handle(int client) {
        char buffer[4096];
        (void)!read(client, buffer, sizeof buffer);
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
        if (m_stall != Stall::BeforeHeaders) (void)!write(client, head.data(), head.size());
        const std::string chunk(1024, 'x');
        while (!m_stop) {
            if (m_stall == Stall::InBody) {
                if (write(client, chunk.data(), chunk.size()) < 0) break;
            } else {
                char probe;
                if (recv(client, &probe, 1, MSG_DONTWAIT) == 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        close(client);
    }

    Stall m_stall;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
    std::vector<std::thread> m_clients;
};

template <typename F>
void Spin(F done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

void StopFetchToEnd(benchmark::State& state, Stall stall) {
    StallingServer server(stall);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    for (auto _ : state) {
        THttpGet slot;
        slot.SlotState = slotIdle;
        slot.FetchMode = fetchPage;
        slot.Connection.ProxyType = PROXY_DIRECT;
        slot.UrlParts.Crack(url);
        const int before = server.Accepted();
        slot.StartFetch();
        Spin([&] { return server.Accepted() > before; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it block
        QElapsedTimer timer;
        timer.start();
        slot.StopFetch();
        Spin([&] { return slot.SlotState == slotFinished; });
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
}

}  // namespace

BENCHMARK_CAPTURE(StopFetchToEnd, BeforeHeaders, Stall::BeforeHeaders)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(StopFetchToEnd, AfterHeaders, Stall::AfterHeaders)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(StopFetchToEnd, InBody, Stall::InBody)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

int main(int argc, char** argv) {
    TCurlGlobal curl;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
