// Peak memory of the analysis of one large page, as the crawler analyses a received body (head,
// cleaning, marking, link extraction and the decision for every link), in multiples of the
// page's size. Goal: below 4 for the largest accepted page (64 MiB). Heap bytes are counted by
// this program's own operator new, so the figure is exact and independent of the allocator.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "CurlSupport.h"
#include "THttpScan.h"
#include "TImpl.h"

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void Count(std::size_t Size) {
    const std::size_t live = gLive.fetch_add(Size) + Size;
    std::size_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
}

constexpr std::size_t kPageBytes = std::size_t{64} * 1024 * 1024;

// Pages of the largest accepted size: links of many distinct pages, one link written over and
// over (the marks alone once took several times the page), and a page that is all head.
std::string Repeat(const std::string& Piece, const std::string& Before = "<html><body>") {
    std::string page = Before;
    page.reserve(kPageBytes);
    while (page.size() + Piece.size() < kPageBytes) page += Piece;
    return page;
}

std::string DistinctLinks() {
    std::string page = "<html><body>";
    page.reserve(kPageBytes);
    for (int i = 0; page.size() + 80 < kPageBytes; ++i)
        page += "<p>text <a href=\"/dir/page" + std::to_string(i) + ".htm\">page</a> more</p>\r\n";
    return page;
}

void Measure(benchmark::State& State, const std::string& Page) {
    for (auto _ : State) {
        THttpScan scan;
        // A listener for the head, so the head is analysed too, and one for the links.
        scan.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, const std::string&) {};
        scan.OnLinkFound = [](THttpScan&, const std::string&, const std::string&,
                              const std::string&, const std::string&, const std::string&,
                              const std::string&, const std::string&, std::string&, char, int,
                              bool&) {};
        scan.SetFileOfResults("");
        TPageContext context;
        context.PageParts.Crack("http://bench.test/page.htm");
        const std::size_t before = gLive.load();
        gPeak.store(before);
        ImplOf(scan).AnalysePage(context, Page);
        const std::size_t peak = gPeak.load() - before;
        State.counters["peak_x_page"] =
            static_cast<double>(peak) / static_cast<double>(Page.size());
        State.counters["page_MB"] = static_cast<double>(Page.size()) / 1e6;
    }
}

void BM_DistinctLinks(benchmark::State& State) {
    static const std::string page = DistinctLinks();
    Measure(State, page);
}
BENCHMARK(BM_DistinctLinks)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_OneLinkRepeated(benchmark::State& State) {
    static const std::string page = Repeat("<a href=a>");
    Measure(State, page);
}
BENCHMARK(BM_OneLinkRepeated)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_AllHead(benchmark::State& State) {
    static const std::string page =
        Repeat("<meta name=\"k\" content=\"v\">", "<html><head>") + "</head><body></body>";
    Measure(State, page);
}
BENCHMARK(BM_AllHead)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

void* operator new(std::size_t Size) {
    void* p = std::malloc(Size + sizeof(std::max_align_t));
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = Size;
    Count(Size);
    return static_cast<char*>(p) + sizeof(std::max_align_t);
}
void operator delete(void* P) noexcept {
    if (!P) return;
    void* base = static_cast<char*>(P) - sizeof(std::max_align_t);
    gLive.fetch_sub(*static_cast<std::size_t*>(base));
    std::free(base);
}
void operator delete(void* P, std::size_t) noexcept {
    operator delete(P);
}
