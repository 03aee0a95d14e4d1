// Page analysis throughput: cleaning (srcset candidates split first), marking, closing areas and
// extracting links of a 1 MB page of typical HTML, together and stage by stage. Goal: 1 GB/s or
// better for the whole pipeline, character references included. Each also counts the allocations
// that one page costs ("allocs/page").

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include <QCoreApplication>

#include "CharacterReferences.h"
#include "LinkExtractor.h"
#include "PageCharset.h"
#include "SourceSet.h"
#include "THttpScan.h"
#include "TImpl.h"

namespace {

std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// Every allocation of the process is counted: the analysis runs its containers through these.
void* operator new(std::size_t Size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(Size == 0 ? 1 : Size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* P) noexcept {
    std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
    std::free(P);
}

namespace {

// Allocations per round of a benchmark loop, from the count at construction.
class TAllocationCount {
public:
    TAllocationCount() : m_start(g_allocations.load()) {}
    void Report(benchmark::State& State) const {
        State.counters["allocs/page"] = static_cast<double>(g_allocations.load() - m_start) /
                                        static_cast<double>(State.iterations());
    }

private:
    std::uint64_t m_start;
};

// A deterministic page of about Size bytes: paragraphs with links, pictures, tables, forms,
// scripts with window-opening calls, written with the usual mix of quoting and letter case.
std::string TypicalPage(std::size_t Size) {
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    const char* words[] = {"the",      "crawler", "reads", "every", "page",    "and",
                           "follows",  "links",   "to",    "other", "sites",   "with",
                           "pictures", "tables",  "forms", "of",    "content", "archive"};
    auto sentence = [&](std::string& out) {
        const std::uint32_t count = 6 + next(14);
        for (std::uint32_t k = 0; k < count; ++k) {
            out += words[next(std::size(words))];
            out += k + 1 < count ? (next(9) == 0 ? ", " : " ") : ".\r\n";
        }
    };

    std::string page =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>Typical page</title>\r\n"
        "<meta name=\"keywords\" content=\"crawler, links\">\r\n"
        "<link rel=\"stylesheet\" href=\"/css/site.css\">\r\n</head>\r\n<body>\r\n";
    for (int block = 0; page.size() < Size; ++block) {
        switch (next(10)) {
            case 0:
                page += "<table class=\"list\">\r\n";
                for (int row = 0; row < 4; ++row)
                    page += "  <tr><td><a href=\"item.php?id=" + std::to_string(block * 4 + row) +
                            "&amp;view=full\">Item</a></td><td>12.50</td></tr>\r\n";
                page += "</table>\r\n";
                break;
            case 1:
                page +=
                    "<script type=\"text/javascript\">\r\nfunction go(n) { if (n > 0) "
                    "{ openWin('popup" +
                    std::to_string(block) + ".htm', 'w'); } var a = [1, 2]; }\r\n</script>\r\n";
                break;
            case 2:
                page += "<IMG SRC=\"/img/pic" + std::to_string(block) +
                        ".gif\" ALT=\"Picture\" WIDTH=100 HEIGHT=80>\r\n";
                break;
            case 3:
                page +=
                    "<form action=\"/cgi-bin/search\"><input type=\"text\" name=\"q\" "
                    "value=\"Search\"><select><option value=\"/dir/a.htm\">A</option>"
                    "</select></form>\r\n";
                break;
            default:
                page += "<p class=\"text\">";
                sentence(page);
                page += "<a href=\"http://www.site" + std::to_string(next(50)) + ".test/dir/page" +
                        std::to_string(block) + ".html\">see here</a> ";
                sentence(page);
                page += "<a href='../up/file" + std::to_string(block) + ".zip'>download</a>";
                sentence(page);
                page += "</p>\r\n";
                break;
        }
    }
    page += "</body>\r\n</html>\r\n";
    return page;
}

const std::string& Page() {
    static const std::string page = TypicalPage(1 << 20);
    return page;
}

std::string MarkedPage() {
    std::string text = CleanText(Page(), true, false);
    MarkTags(text);
    CloseOpenAreas(text);
    return text;
}

void SetThroughput(benchmark::State& State) {
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) *
                            static_cast<std::int64_t>(Page().size()));
}

void BM_WholePipeline(benchmark::State& State) {
    std::size_t links = 0;
    std::string decoded;
    const TAllocationCount allocations;
    for (auto _ : State) {
        // As the crawler runs it: srcset candidates split, and values that name their scheme
        // read from the page itself.
        std::string split;
        TCleanMap map;
        std::string text = CleanText(SplitSourceSets(Page(), split), true, false, &map);
        if (MarkTags(text)) {
            CloseOpenAreas(text);
            // Character references are decoded as the crawler does before it resolves a value.
            ExtractLinkValues(text, &map, [&](std::string_view value, unsigned char) {
                if (MayHoldCharacterReference(value)) {
                    DecodeCharacterReferences(value, decoded);
                    benchmark::DoNotOptimize(decoded.data());
                }
                ++links;
                return true;
            });
        }
        benchmark::DoNotOptimize(links);
    }
    allocations.Report(State);
    SetThroughput(State);
    State.counters["links/page"] =
        static_cast<double>(links) / static_cast<double>(State.iterations());
}
BENCHMARK(BM_WholePipeline)->Unit(benchmark::kMicrosecond);

// A page without srcset, as most are: the walk finds nothing to split and copies nothing.
void BM_SplitSourceSets(benchmark::State& State) {
    for (auto _ : State) {
        std::string split;
        benchmark::DoNotOptimize(SplitSourceSets(Page(), split).data());
    }
    SetThroughput(State);
}
BENCHMARK(BM_SplitSourceSets)->Unit(benchmark::kMicrosecond);

void BM_CleanText(benchmark::State& State) {
    for (auto _ : State) {
        std::string text = CleanText(Page(), true, false);
        benchmark::DoNotOptimize(text.data());
    }
    SetThroughput(State);
}
BENCHMARK(BM_CleanText)->Unit(benchmark::kMicrosecond);

void BM_MarkTags(benchmark::State& State) {
    const std::string cleaned = CleanText(Page(), true, false);
    std::string text;
    for (auto _ : State) {
        State.PauseTiming();
        text = cleaned;
        State.ResumeTiming();
        benchmark::DoNotOptimize(MarkTags(text));
    }
    SetThroughput(State);
}
BENCHMARK(BM_MarkTags)->Unit(benchmark::kMicrosecond);

void BM_CloseOpenAreas(benchmark::State& State) {
    std::string text = MarkedPage();
    for (auto _ : State) {
        // Already closed after the first round, as it is after the page hook ran once.
        CloseOpenAreas(text);
        benchmark::DoNotOptimize(text.data());
    }
    SetThroughput(State);
}
BENCHMARK(BM_CloseOpenAreas)->Unit(benchmark::kMicrosecond);

void BM_ExtractLinks(benchmark::State& State) {
    const std::string text = MarkedPage();
    std::size_t links = 0;
    for (auto _ : State) {
        ExtractLinkValues(text, nullptr, [&links](std::string_view, unsigned char) {
            ++links;
            return true;
        });
        benchmark::DoNotOptimize(links);
    }
    SetThroughput(State);
}
BENCHMARK(BM_ExtractLinks)->Unit(benchmark::kMicrosecond);

// The page as the fetch hands it on: an undeclared UTF-8 page is checked and kept as it is.
void BM_DecodePage(benchmark::State& State) {
    std::string body;
    for (auto _ : State) {
        State.PauseTiming();
        body = Page();
        State.ResumeTiming();
        benchmark::DoNotOptimize(DecodePage(std::move(body), "text/html").Text.data());
    }
    SetThroughput(State);
}
BENCHMARK(BM_DecodePage)->Unit(benchmark::kMicrosecond);

}  // namespace

// The crawler's own analysis of the page: the pipeline above and the decision taken for every
// link, with the visited lists emptied before each round (so every link is news). Arg 1 assigns
// OnLinkDecision, which must cost nothing while it is not assigned.
void BM_AnalysePageWithDecisions(benchmark::State& State) {
    THttpScan scan;
    scan.SetFileOfResults("");
    std::size_t told = 0;
    if (State.range(0) == 1)
        scan.OnLinkDecision = [&told](THttpScan&, const TLinkDecision& d, const std::string&, int) {
            told += d.Alive;
        };
    TImpl& impl = ImplOf(scan);
    impl.Dwnld.Stopping = false;
    impl.StartUrlParts.Crack("http://www.example.test/dir/index.htm");
    const TAllocationCount allocations;
    for (auto _ : State) {
        State.PauseTiming();
        impl.VisitedUrls.Clear();
        impl.VisitedHosts.Clear();
        TPageContext page;
        page.PageParts.Crack("http://www.example.test/dir/index.htm");
        page.Depth = 3;  // at the depth limit: decided, not queued
        State.ResumeTiming();
        impl.AnalysePage(page, Page());
        benchmark::DoNotOptimize(impl.VisitedUrls.Count());
    }
    allocations.Report(State);
    SetThroughput(State);
    State.counters["urls"] = impl.VisitedUrls.Count();
    State.counters["told/page"] =
        static_cast<double>(told) / static_cast<double>(State.iterations());
}
BENCHMARK(BM_AnalysePageWithDecisions)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
