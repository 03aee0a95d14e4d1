// What a very large crawl holds per URL it has met: pages of 30 links (25 of them new) are
// analysed as the crawler analyses them, and at 1 and 5 million URLs met the heap in use
// (glibc's own count, allocator overhead included) and the spill file's disk space are read,
// then each structure is emptied in turn to see its share: the visited list, the hosts, the
// queue with its overflow, the depth ledger.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QTemporaryDir>

#include <string>

#include "THttpScan.h"
#include "TImpl.h"
#include "UrlMaker.h"

namespace {

double HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

void BM_BytesPerUrlMet(benchmark::State& State) {
    const int target = static_cast<int>(State.range(0));
    for (auto _ : State) {
        QTemporaryDir spill;
        const double before = HeapInUse();
        THttpScan scan;
        scan.SetFileOfResults("");
        scan.SetDepthSearchLevel(20);
        TImpl& impl = ImplOf(scan);
        impl.Dwnld.Overflow.Folder = spill.path().toStdString();
        UrlMaker maker(7, 60, ".htm");
        std::vector<std::string> recent;
        std::string url, page = "http://www.host0.example/start.htm", body;
        for (int n = 0; impl.VisitedUrls.Count() < target; ++n) {
            body.clear();
            for (int i = 0; i < 30; ++i) {
                if (i % 6 == 5 && !recent.empty()) {
                    url = recent[static_cast<std::size_t>(n * 7 + i) % recent.size()];
                } else {
                    maker.Next(url);
                    if (recent.size() < 5000) recent.push_back(url);
                }
                body += "<a href=\"" + url + "\">link</a>\n";
            }
            TPageContext context;
            context.PageParts.Crack(page);
            context.Depth = 2;
            impl.AnalysePage(context, body);
            page = url;
        }
        const double urls = impl.VisitedUrls.Count();
        const double total = HeapInUse() - before;
        State.counters["urls_met"] = urls;
        State.counters["heap_bytes_per_url"] = total / urls;
        State.counters["spill_disk_bytes_per_url"] =
            static_cast<double>(impl.Dwnld.Overflow.SpillBytesHeld()) / urls;
        State.counters["ledger_bytes_per_url"] =
            static_cast<double>(impl.Ledger.MemoryBytes()) / urls;
        double now = HeapInUse();
        impl.VisitedUrls.Clear();
        State.counters["visited_bytes_per_url"] = (now - HeapInUse()) / urls;
        now = HeapInUse();
        impl.VisitedHosts.Clear();
        State.counters["hosts_bytes_per_url"] = (now - HeapInUse()) / urls;
        now = HeapInUse();
        impl.Dwnld.ResetRun();
        State.counters["queue_bytes_per_url"] = (now - HeapInUse()) / urls;
    }
}
BENCHMARK(BM_BytesPerUrlMet)
    ->Arg(1'000'000)
    ->Arg(5'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
