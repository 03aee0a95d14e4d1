// The visited-URL set of a deep crawl: every link found is one Find with insertion, so the cost
// of that call at a million entries and the memory of such a list bound how far a run can go.

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "TLinkDecisionLog.h"
#include "TQuickSortStringList.h"
#include "UrlMaker.h"

namespace {

long ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

void Fill(TQuickSortStringList& List, int Count, UrlMaker& Maker) {
    std::string url;
    int index = 0;
    int pos = 0;
    while (List.Count() < Count) {
        Maker.Next(url);
        List.Find(url, index, pos, true);
    }
}

// Registered first so that no list of another benchmark has touched the heap yet.
void BM_MemoryOfMillionUrls(benchmark::State& State) {
    for (auto _ : State) {
        long before = ResidentBytes();
        TQuickSortStringList list;
        list.SetCapacity(32000);
        UrlMaker maker(1);
        Fill(list, 1'000'000, maker);
        long after = ResidentBytes();
        State.counters["bytes_per_entry"] = static_cast<double>(after - before) / list.Count();
        State.counters["list_MB"] = static_cast<double>(after - before) / 1e6;
        State.counters["process_MB"] = static_cast<double>(after) / 1e6;
    }
}
BENCHMARK(BM_MemoryOfMillionUrls)->Iterations(1)->Unit(benchmark::kMillisecond);

// The "Warum?" log of a million distinct URLs found on 20,000 pages: what it holds beyond the
// URL texts themselves, per URL.
void BM_DecisionLogOfMillionUrls(benchmark::State& State) {
    for (auto _ : State) {
        const long before = ResidentBytes();
        TLinkDecisionLog log;
        UrlMaker maker(2);
        TLinkDecision d;
        d.Alive = d.Reported = true;
        d.TypeLink = "htm";
        std::string from;
        double text = 0;
        for (int i = 0; i < 1'000'000; ++i) {
            maker.Next(d.Resolved);
            if (i % 50 == 0) maker.Next(from);
            text += static_cast<double>(d.Resolved.size());
            log.Note(d, from, 2);
        }
        const long after = ResidentBytes();
        const double n = static_cast<double>(log.Count());
        State.counters["urls"] = n;
        State.counters["url_text_bytes"] = text / n;
        State.counters["rss_bytes_per_url"] = static_cast<double>(after - before) / n;
        State.counters["extra_bytes_per_url"] = (static_cast<double>(after - before) - text) / n;
        State.counters["held_extra_bytes_per_url"] =
            (static_cast<double>(log.MemoryBytes()) - text) / n;
    }
}
BENCHMARK(BM_DecisionLogOfMillionUrls)->Iterations(1)->Unit(benchmark::kMillisecond);

// A list is filled once per size and kept while that size runs: filling a million entries takes
// seconds. Only one large list lives at a time.
TQuickSortStringList& FilledList(int Count) {
    static std::unique_ptr<TQuickSortStringList> list;
    static int filledTo = -1;
    if (filledTo != Count) {
        list = std::make_unique<TQuickSortStringList>();
        list->SetCapacity(32000);
        UrlMaker maker(2);
        Fill(*list, Count, maker);
        filledTo = Count;
    }
    return *list;
}

// Takes the URLs of the last batch out again, so the list stays at its nominal size however
// many iterations the library runs. The batch is remade from a copy of the maker's state.
void RemoveBatch(TQuickSortStringList& List, UrlMaker Replay, int Count) {
    std::string url;
    int index = 0;
    int pos = 0;
    for (int i = 0; i < Count; ++i) {
        Replay.Next(url);
        if (List.Find(url, index, pos, false)) List.Delete(index);
    }
}

void BM_FindAddNewUrl(benchmark::State& State) {
    constexpr int kBatch = 1000;
    TQuickSortStringList& list = FilledList(static_cast<int>(State.range(0)));
    UrlMaker maker(3);
    UrlMaker batchStart = maker;
    int inBatch = 0;
    std::string url;
    int index = 0;
    int pos = 0;
    for (auto _ : State) {
        maker.Next(url);
        benchmark::DoNotOptimize(list.Find(url, index, pos, true));
        if (++inBatch == kBatch) {
            State.PauseTiming();
            RemoveBatch(list, batchStart, inBatch);
            batchStart = maker;
            inBatch = 0;
            State.ResumeTiming();
        }
    }
    RemoveBatch(list, batchStart, inBatch);
    State.counters["entries"] = list.Count();
}
BENCHMARK(BM_FindAddNewUrl)->Arg(32'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

// Making the URL is part of the loop above; this shows how much of it that is.
void BM_MakeUrlOnly(benchmark::State& State) {
    UrlMaker maker(3);
    std::string url;
    for (auto _ : State) {
        maker.Next(url);
        benchmark::DoNotOptimize(url.data());
    }
}
BENCHMARK(BM_MakeUrlOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
