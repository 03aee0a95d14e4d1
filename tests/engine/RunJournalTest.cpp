// The run journal: its records, its reader's treatment of torn and damaged files, a failing
// disk, and whole crawls continued from every kind of interruption.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "FileText.h"
#include "JournalRecord.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TJournalReader.h"
#include "TRunJournal.h"
#include "TestServer.h"

namespace {

TEST(JournalRecord, AnyBytesSurviveAndAnyChangeIsNoticed) {
    const std::vector<std::string> fields{"",
                                          "plain",
                                          "tab\there",
                                          "line\nend\r\n",
                                          "back\\slash\\t",
                                          std::string("nul\0byte", 8),
                                          "\xff\xfe latin \xe4"};
    std::string line;
    AppendJournalRecord(line, 'R', fields);
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "a field's line end must be escaped";
    const std::string body = line.substr(0, line.size() - 1);
    TJournalRecord record;
    ASSERT_TRUE(ParseJournalRecord(body, record));
    EXPECT_EQ(record.Kind, 'R');
    EXPECT_EQ(record.Fields, fields);
    for (std::size_t at = 0; at < body.size(); at += 7) {
        std::string damaged = body;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        EXPECT_FALSE(ParseJournalRecord(damaged, record)) << "byte " << at;
    }
    EXPECT_FALSE(ParseJournalRecord(body.substr(0, body.size() - 3), record));
    EXPECT_FALSE(ParseJournalRecord("", record));
    // The sum is the CRC-32 (IEEE) that journals of every version carry: its check value, and
    // a line summed by another implementation of it.
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_TRUE(ParseJournalRecord("330c7795 K", record));
}

// A journal written by hand: header, a run with two queued URLs of which one is done.
std::string Journal(const std::vector<std::string>& Extra = {}) {
    std::string out;
    AppendJournalRecord(out, 'J', {"tarnwick-journal", "1", "9.9"});
    AppendJournalRecord(out, 'K', {});
    AppendJournalRecord(out, 'B', {"StartingUrl", "http://a.test/"});
    AppendJournalRecord(out, 'Q', {"1", "1", "0", "0", "32", "1", "0", "http://a.test/", ""});
    AppendJournalRecord(out, 'K', {});
    AppendJournalRecord(out, 'Q', {"2", "2", "0", "0", "4", "1", "0", "http://a.test/b", "r"});
    AppendJournalRecord(out, 'R', {"mail", "x@a.test", "http://a.test/", "H", "R", "0", "x"});
    AppendJournalRecord(out, 'D', {"1", "fetched"});
    AppendJournalRecord(out, 'K', {});
    for (const std::string& e : Extra) out += e;
    return out;
}

TEST(TJournalReader, UsesWholeGroupsOnlyAndSaysWhatItLeftOut) {
    const std::string sound = Journal();
    std::string open;  // a group without its commit: a crash between two writes
    AppendJournalRecord(open, 'Q', {"3", "2", "0", "0", "4", "1", "0", "http://a.test/c", ""});
    std::string unknown;
    AppendJournalRecord(unknown, 'X', {"from", "later"});
    AppendJournalRecord(unknown, 'K', {});
    std::string badGroup;  // sound sums, but a record that makes no sense spoils its group
    AppendJournalRecord(badGroup, 'R', {"mail", "y@a.test"});
    AppendJournalRecord(badGroup, 'D', {"2", "fetched"});
    AppendJournalRecord(badGroup, 'K', {});
    std::string damaged = Journal({open});
    damaged[sound.size() + 3] ^= 1;
    const struct {
        const char* Name;
        std::string Data;
        std::size_t Pending, Reports;
        const char* Dropped;  // a part of the Dropped text; "" when nothing was left out
        std::size_t DroppedBytes;
        bool Damage;
        int Unknown;
    } cases[] = {
        {"sound", sound, 1, 1, "", 0, false, 0},
        {"torn last write", sound + open.substr(0, open.size() / 2), 1, 1, "incomplete last record",
         open.size() / 2, false, 0},
        {"group never committed", sound + open, 1, 1, "never completed", open.size(), false, 0},
        {"damaged record", damaged, 1, 1, "damaged record at byte", damaged.size() - sound.size(),
         true, 0},
        {"later kind", sound + unknown, 1, 1, "1 record of a kind this version does not know", 0,
         false, 1},
        {"malformed group", sound + badGroup + unknown, 1, 1, "makes no sense",
         badGroup.size() + unknown.size(), true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TJournalContents j = TJournalReader::Parse(c.Data, "j");
        ASSERT_EQ(j.Error, "");
        ASSERT_EQ(j.Runs.size(), 1u);
        EXPECT_EQ(j.ProgramVersion, "9.9");
        const TJournalRun& run = j.Runs[0];
        ASSERT_EQ(run.Pending.size(), c.Pending);
        EXPECT_EQ(run.Pending[0].Url, "http://a.test/b");
        EXPECT_EQ(run.Pending[0].Referrer, "r");
        EXPECT_EQ(run.Pending[0].TagKind, tagHref);
        ASSERT_EQ(run.Reports.size(), c.Reports);
        EXPECT_EQ(run.Reports[0].ResultLine, "\"mail\";\"x@a.test\"");
        EXPECT_TRUE(run.Reports[0].Reported);
        EXPECT_EQ(run.Fetched, 1);
        EXPECT_EQ(run.Setting("StartingUrl"), "http://a.test/");
        EXPECT_TRUE(j.Resumable());
        if (*c.Dropped == 0)
            EXPECT_EQ(j.Dropped, "");
        else
            EXPECT_NE(j.Dropped.find(c.Dropped), std::string::npos) << j.Dropped;
        EXPECT_EQ(j.DroppedBytes, static_cast<std::int64_t>(c.DroppedBytes));
        EXPECT_EQ(j.DroppedDamage, c.Damage);
        EXPECT_EQ(j.UnknownRecords, c.Unknown);
        EXPECT_LE(j.SoundBytes, static_cast<std::int64_t>(c.Data.size()));
    }
    EXPECT_NE(TJournalReader::Parse("hello\n", "j").Error, "");
    EXPECT_NE(TJournalReader::Parse("", "j").Error, "");
    EXPECT_NE(TJournalReader::Read("/nonexistent/j").Error.find("cannot read journal"),
              std::string::npos);
}

// Version 2 adds to the records of version 1 without changing them: depths and states in the
// visited flags, robots.txt requests of hosts, the reason of a failure, and entries fetched again.
TEST(TJournalReader, ReadsTheRecordsOfBothVersions) {
    std::string later;
    const TVisit waiting{.Flags = TVisit::kFollowedPage, .State = TVisitState::Waiting, .Depth = 3};
    AppendJournalRecord(later, 'H', {"a.test"});
    AppendJournalRecord(later, 'H', {"a.test", "robots"});
    AppendJournalRecord(later, 'V', {std::to_string(waiting.JournalFlag()), "http://a.test/c"});
    AppendJournalRecord(later, 'Q', {"3", "3", "0", "0", "4", "3", "0", "http://a.test/c", "r"});
    AppendJournalRecord(later, 'D', {"2", "failed", "timed out"});
    // A URL whose robots.txt could not be read failed; none was forbidden.
    AppendJournalRecord(later, 'Q', {"4", "3", "0", "0", "4", "3", "0", "http://a.test/d", "r"});
    AppendJournalRecord(later, 'D', {"4", "robots-unreachable"});
    AppendJournalRecord(later, 'K', {});
    const TJournalContents j = TJournalReader::Parse(Journal({later}), "j");
    ASSERT_EQ(j.Dropped, "");
    const TJournalRun& run = j.Runs.at(0);
    EXPECT_EQ(run.Hosts,
              (std::vector<std::pair<std::string, bool>>{{"a.test", false}, {"a.test", true}}));
    const TVisit read = TVisit::Of(run.Visited.back().second);
    EXPECT_EQ(read.Depth, 3);
    EXPECT_EQ(read.State, TVisitState::Waiting);
    EXPECT_EQ(read.Entry, 0u);
    ASSERT_EQ(run.Pending.size(), 1u);
    EXPECT_EQ(run.Pending[0].FetchMode, fetchAgain);
    EXPECT_EQ(run.SkippedUrls,
              (std::vector<std::pair<std::string, std::string>>{
                  {"http://a.test/b", "timed out"}, {"http://a.test/d", "robots-unreachable"}}));
    EXPECT_EQ(run.Errors, 2);
    EXPECT_EQ(run.Skipped, 0);
}

// Version 3: sitemap files are entries of their own kind, neither pages fetched nor failures of
// the run, and the settings say whether sitemaps are sought.
TEST(TJournalReader, KeepsSitemapEntriesAndTheSitemapSetting) {
    THttpScan scan;
    scan.SetSeekSitemaps(true);
    std::vector<std::string> settings;
    for (auto& [key, value] : ImplOf(scan).JournalSettings()) {
        settings.push_back(key);
        settings.push_back(value);
    }
    std::string later;
    AppendJournalRecord(later, 'B', settings);
    for (const char* id : {"1", "2", "3"})
        AppendJournalRecord(later, 'Q', {id, "1", "0", "0", "32", "4", "0", "http://a.test/s", ""});
    AppendJournalRecord(later, 'D', {"1", "sitemap"});
    AppendJournalRecord(later, 'D', {"2", "sitemap-failed"});
    AppendJournalRecord(later, 'K', {});
    const TJournalContents j = TJournalReader::Parse(Journal({later}), "j");
    ASSERT_EQ(j.Dropped, "");
    const TJournalRun& run = j.Runs.back();
    EXPECT_EQ(run.Setting("SeekSitemaps"), "1");
    ASSERT_EQ(run.Pending.size(), 1u);
    EXPECT_EQ(run.Pending[0].FetchMode, fetchSitemap);
    EXPECT_EQ(run.Fetched + run.Errors + run.Retries + run.Skipped, 0);
    EXPECT_TRUE(run.SkippedUrls.empty());
    THttpScan resumed;
    ImplOf(resumed).ApplyJournalSettings(run);
    EXPECT_TRUE(resumed.SeekSitemaps());
    // A journal of an earlier version, without the setting, seeks none.
    THttpScan older;
    ImplOf(older).ApplyJournalSettings(j.Runs.front());
    EXPECT_FALSE(older.SeekSitemaps());
}

TEST(TRunJournal, AFullDiskKeepsWhatWasWholeAndSaysWhy) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("j").toStdString();
    TRunJournal journal;
    ASSERT_TRUE(journal.Create(path));
    journal.Add('B', {"StartingUrl", "http://a.test/"});
    journal.Commit();
    ASSERT_TRUE(journal.Flush());
    // Half a write goes through, then the disk is full.
    journal.Write = [](int fd, const void* data, std::size_t size) -> ssize_t {
        if (size > 8) return ::write(fd, data, size / 2);
        errno = ENOSPC;
        return -1;
    };
    journal.Add('H', {"a.test"});
    journal.Commit();
    EXPECT_FALSE(journal.Flush());
    EXPECT_FALSE(journal.IsOpen());
    EXPECT_NE(journal.Error().find("cannot write journal " + path + ": No space left on device"),
              std::string::npos)
        << journal.Error();
    const TJournalContents j = TJournalReader::Read(path);
    EXPECT_EQ(j.Dropped, "") << "the half-written group is cut off";
    ASSERT_EQ(j.Runs.size(), 1u);
    EXPECT_TRUE(j.Runs[0].Hosts.empty());
}

TEST(TRunJournal, AnOpenJournalIsLeftAloneByEveryOtherOpening) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("j").toStdString();
    TRunJournal first;
    ASSERT_TRUE(first.Create(path));
    first.Add('H', {"a.test"});
    first.Commit();
    ASSERT_TRUE(first.Flush());
    const std::string before = ReadAll(QString::fromStdString(path));
    const auto size = static_cast<std::int64_t>(before.size());
    EXPECT_TRUE(TRunJournal::FileInUse(path));
    // Each open(2) is a file of its own for the lock, as another process's would be.
    TRunJournal second;
    EXPECT_FALSE(second.Create(path));
    EXPECT_TRUE(second.InUse());
    EXPECT_EQ(second.Error(), "journal " + path + " is in use by another process");
    EXPECT_FALSE(second.Continue(path, size, size));
    EXPECT_TRUE(second.InUse());
    EXPECT_EQ(ReadAll(QString::fromStdString(path)), before);

    first.Close();
    EXPECT_FALSE(TRunJournal::FileInUse(path));
    EXPECT_FALSE(TRunJournal::FileInUse(path + ".missing"));
    // Read at one length, found at another: written meanwhile, so what was read is stale.
    EXPECT_FALSE(second.Continue(path, size, size - 1));
    EXPECT_TRUE(second.InUse());
    EXPECT_EQ(ReadAll(QString::fromStdString(path)), before);
    EXPECT_TRUE(second.Continue(path, size, size));
    EXPECT_FALSE(second.InUse());
    EXPECT_TRUE(TRunJournal::FileInUse(path));
}

// A small site: a tree of pages, each with a mail address and a PDF of its own, and links to
// pages met before (so the visited list matters) and a meta refresh.
std::string MakeSite(const QString& Root, int Pages) {
    for (int p = 0; p < Pages; ++p) {
        std::string html = "<html><body><a href=\"mailto:u" + std::to_string(p) +
                           "@site.test\">m</a> <a href=\"f" + std::to_string(p) +
                           ".pdf?v=1#top\">f</a>";
        for (int c = 3 * p + 1; c <= 3 * p + 3 && c < Pages; ++c)
            html += " <a href=\"p" + std::to_string(c) + ".htm\">c</a>";
        html += " <a href=\"p" + std::to_string(p / 2) + ".htm\">up</a></body></html>";
        WriteAll(Root + QString("/p%1.htm").arg(p), html);
    }
    return "/p0.htm";
}

// What OnLinkFound tells of a link, so that a report read back from the journal must match
// what the handler heard. Not the page it was found on: which of several pages linking to it
// is analysed first depends on the order downloads end in.
std::string Found(const std::string& Type, const std::string& Url, const std::string& Host,
                  const std::string& Path, const std::string& File, const std::string& Extra,
                  char HrefOrSrc) {
    return Type + " " + Url + " " + Host + " " + Path + " " + File + " " + Extra + " " + HrefOrSrc;
}

class JournalCrawl : public ::testing::Test {
protected:
    static constexpr int kPages = 40;

    void SetUp() override {
        ASSERT_TRUE(m_site.isValid() && m_dir.isValid());
        m_start = MakeSite(m_site.path(), kPages);
        m_server = std::make_unique<TestServer>("{}", false, m_site.path().toStdString());
        ASSERT_TRUE(m_server->Start());
    }

    struct TResult {
        std::set<std::string> Found;  // reported links, also those replayed from the journal
        std::set<std::string> Lines;  // the results file
        int Requests = 0;             // page requests the run made
        bool WorkingEnded = false;
    };

    void Wire(THttpScan& Scan, TResult& R, const std::string& ResultsFile) {
        Scan.SetDepthSearchLevel(6);
        Scan.SetConcurrentDownloads(3);
        Scan.SetTypeList("mail\npdf");
        Scan.SetAdaptiveTicks(true);
        Scan.SetFileOfResults(ResultsFile);
        Scan.OnLinkFound =
            [&R](THttpScan&, const std::string& url, const std::string& type, const std::string&,
                 const std::string& host, const std::string& path, const std::string& file,
                 const std::string& extra, std::string&, char hrefOrSrc, int,
                 bool&) { R.Found.insert(Found(type, url, host, path, file, extra, hrefOrSrc)); };
        Scan.OnWorking = [&R](THttpScan&, bool working) { R.WorkingEnded = !working; };
    }

    int PageRequests() const {
        int pages = 0;
        for (const TestRequest& r : m_server->Requests())
            if (r.path.ends_with(".htm")) ++pages;
        return pages;
    }

    void Finish(THttpScan& Scan, TResult& R, const std::string& ResultsFile, int RequestsBefore) {
        ASSERT_TRUE(WaitFor([&] { return R.WorkingEnded; }, 60000));
        (void)Scan;
        R.Requests = PageRequests() - RequestsBefore;
        std::string lines = ReadAll(QString::fromStdString(ResultsFile));
        for (std::size_t at = 0, end; (end = lines.find("\r\n", at)) != std::string::npos;
             at = end + 2)
            R.Lines.insert(lines.substr(at, end - at));
    }

    // A whole crawl with a journal at Path.
    TResult Uninterrupted(const std::string& Path) {
        TResult r;
        THttpScan scan;
        const std::string results = m_dir.filePath("full.txt").toStdString();
        Wire(scan, r, results);
        EXPECT_TRUE(scan.OpenJournal(Path));
        const int before = PageRequests();
        EXPECT_TRUE(scan.Start(m_server->Url(m_start)));
        Finish(scan, r, results, before);
        EXPECT_TRUE(scan.FinishJournal());
        return r;
    }

    // Continues the journal at Path, as the next start of the program would.
    TResult Resumed(const std::string& Path, const TJournalContents& J) {
        TResult r;
        THttpScan scan;
        Wire(scan, r, "");
        // The run goes on writing the results file it began.
        const std::string results = J.Runs.back().Setting("FileOfResults");
        for (const TJournalReport& report : J.Runs.back().Reports)
            if (report.Reported)
                r.Found.insert(Found(report.TypeLink, report.UrlFound, report.HostName,
                                     report.UrlPath, report.UrlPathWithFile, report.ExtraInfos,
                                     report.HrefOrSrc));
        EXPECT_TRUE(scan.ContinueJournal(Path, J)) << scan.JournalError();
        const int before = PageRequests();
        EXPECT_TRUE(scan.Resume(J.Runs.back()));
        Finish(scan, r, results, before);
        return r;
    }

    QTemporaryDir m_site, m_dir;
    std::unique_ptr<TestServer> m_server;
    std::string m_start;
};

// A crash leaves the journal cut off anywhere: after the header, mid-record, mid-page, near the
// end. Every cut continues to the same harvest and results file, fetching exactly the pages the
// cut journal had not finished, each once.
TEST_F(JournalCrawl, ACutAnywhereResumesToTheSameHarvest) {
    const QString full = m_dir.filePath("full.journal");
    const TResult whole = Uninterrupted(full.toStdString());
    ASSERT_EQ(whole.Requests, kPages);
    // Without the type filter each page but the start page is reported too.
    ASSERT_EQ(whole.Found.size(), 3u * kPages - 1);
    const std::string data = ReadAll(full);
    // The first cut falls right after the run's first group (its settings and start page).
    const std::size_t firstGroup = data.find(" K\n", data.find(" K\n") + 3) + 3;
    std::vector<std::size_t> cuts{firstGroup};
    for (const double fraction : {0.1, 0.33, 0.5, 0.61, 0.9, 0.99})
        cuts.push_back(static_cast<std::size_t>(static_cast<double>(data.size()) * fraction));
    // And after each record of the third page's group: between a link's visited mark, its
    // report and its queueing.
    std::size_t third = data.find("\tfetched\n");
    for (int i = 0; i < 2; ++i) third = data.find("\tfetched\n", third + 1);
    for (std::size_t at = data.rfind(" K\n", third) + 3; at < third; at = data.find('\n', at) + 1)
        cuts.push_back(at);
    for (const std::size_t cut : cuts) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const QString path = m_dir.filePath("cut.journal");
        WriteAll(path, data.substr(0, cut));
        const TJournalContents j = TJournalReader::Read(path.toStdString());
        ASSERT_EQ(j.Error, "");
        ASSERT_EQ(j.Runs.size(), 1u);
        ASSERT_FALSE(j.Runs[0].Finished);
        const TResult r = Resumed(path.toStdString(), j);
        EXPECT_EQ(r.Found, whole.Found);
        EXPECT_EQ(r.Lines, whole.Lines);
        EXPECT_EQ(r.Requests, kPages - j.Runs[0].Fetched);
        // The continued journal holds the whole run now, and says it ended.
        const TJournalContents after = TJournalReader::Read(path.toStdString());
        EXPECT_EQ(after.Dropped, "");
        EXPECT_TRUE(after.Runs.back().Finished);
        EXPECT_EQ(after.Runs.back().Fetched, kPages);
    }
}

TEST_F(JournalCrawl, AStoppedRunGoesOnAndAFinishedOneIsNotResumed) {
    const std::string path = m_dir.filePath("stopped.journal").toStdString();
    const TResult whole = Uninterrupted(m_dir.filePath("whole.journal").toStdString());
    TResult first;
    {
        THttpScan scan;
        const std::string results = m_dir.filePath("first.txt").toStdString();
        Wire(scan, first, results);
        scan.SetConcurrentDownloads(1);
        scan.OnPageReceived = [&](THttpScan& s, const std::string&, const std::string&,
                                  const std::string&, const std::string&) {
            if (PageRequests() >= 10) s.Stop();
        };
        ASSERT_TRUE(scan.OpenJournal(path));
        ASSERT_TRUE(scan.Start(m_server->Url(m_start)));
        ASSERT_TRUE(WaitFor([&] { return first.WorkingEnded; }, 60000));
    }
    const TJournalContents j = TJournalReader::Read(path);
    ASSERT_EQ(j.Runs.size(), 1u);
    EXPECT_TRUE(j.Runs[0].Stopped);
    EXPECT_LT(j.Runs[0].Fetched, kPages);
    EXPECT_TRUE(j.Resumable());
    const TResult r = Resumed(path, j);
    EXPECT_EQ(r.Found, whole.Found);

    const TJournalContents done = TJournalReader::Read(path);
    EXPECT_TRUE(done.Runs.back().Finished);
    THttpScan scan;
    EXPECT_FALSE(scan.Resume(done.Runs.back()));
    EXPECT_FALSE(TJournalReader::Read(m_dir.filePath("whole.journal").toStdString()).Resumable());
}

// Journals of earlier versions kept each visited URL as it was found: resumed, each is keyed
// anew, so a page met under another way of writing it is not fetched again.
TEST_F(JournalCrawl, VisitedUrlsOfAnEarlierJournalAreKeyedAnew) {
    const std::string origin = m_server->BaseUrl();
    const std::string written = "HTTP://" + origin.substr(7);
    const TVisit analysed{
        .Flags = TVisit::kFollowedPage, .State = TVisitState::Analysed, .Depth = 1};
    const TVisit waiting{.Flags = TVisit::kFollowedPage, .State = TVisitState::Waiting, .Depth = 2};
    TJournalRun run;
    run.Settings = {{"StartingUrl", origin + m_start}, {"FileOfResults", ""}};
    run.Visited = {{written + "/./p0.htm", analysed.JournalFlag()},
                   {written + "/%70"
                              "1.htm",
                    waiting.JournalFlag()}};
    run.Pending = {{.Id = 1,
                    .Url = origin + "/p1.htm",
                    .Referrer = origin + m_start,
                    .Depth = 2,
                    .TagKind = tagHref}};
    run.LastId = 1;
    TResult r;
    THttpScan scan;
    Wire(scan, r, "");
    ASSERT_TRUE(scan.Resume(run));
    Finish(scan, r, "", 0);
    // p1 links back to p0, which the journal had as analysed under another spelling.
    EXPECT_EQ(m_server->CountRequests("/p0.htm"), 0);
    EXPECT_EQ(m_server->CountRequests("/p1.htm"), 1);
    EXPECT_EQ(m_server->CountRequests("/p4.htm"), 1);
}

// The journal's disk fills up mid-run: the run stops and says why, and what was written still
// continues to the whole harvest.
TEST_F(JournalCrawl, AJournalThatCannotBeWrittenStopsTheRunAndStaysResumable) {
    const TResult whole = Uninterrupted(m_dir.filePath("whole.journal").toStdString());
    const std::string path = m_dir.filePath("full-disk.journal").toStdString();
    TResult first;
    std::vector<std::string> errors;
    {
        THttpScan scan;
        Wire(scan, first, m_dir.filePath("first.txt").toStdString());
        scan.OnError = [&](THttpScan&, const std::string& url, unsigned code,
                           const std::string& message) {
            if (code == 0) errors.push_back(url + "|" + message);
        };
        ASSERT_TRUE(scan.OpenJournal(path));
        std::size_t room = 6000;
        ImplOf(scan).Journal.Write = [&room](int fd, const void* data,
                                             std::size_t size) -> ssize_t {
            if (room == 0) {
                errno = ENOSPC;
                return -1;
            }
            const std::size_t n = std::min(room, size);
            room -= n;
            return ::write(fd, data, n);
        };
        ASSERT_TRUE(scan.Start(m_server->Url(m_start)));
        ASSERT_TRUE(WaitFor([&] { return first.WorkingEnded; }, 60000));
        EXPECT_NE(scan.JournalError().find("No space left on device"), std::string::npos);
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], path + "|cannot write journal " + path + ": No space left on device");
    const TJournalContents j = TJournalReader::Read(path);
    ASSERT_EQ(j.Error, "");
    EXPECT_EQ(j.Dropped, "");
    ASSERT_EQ(j.Runs.size(), 1u);
    EXPECT_LT(j.Runs[0].Fetched, kPages);
    EXPECT_EQ(Resumed(path, j).Found, whole.Found);
}

// A note the owner adds between runs that cannot be written stops the run that follows as it
// begins, as a failure within a run would.
TEST_F(JournalCrawl, ANoteThatCannotBeWrittenStopsTheNextRun) {
    const std::string path = m_dir.filePath("note.journal").toStdString();
    TResult r;
    THttpScan scan;
    Wire(scan, r, m_dir.filePath("note.txt").toStdString());
    ASSERT_TRUE(scan.OpenJournal(path));
    ImplOf(scan).Journal.Write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    scan.JournalNote({"owner", "entry", "1"});
    ASSERT_NE(scan.JournalError(), "");
    const int before = PageRequests();
    ASSERT_TRUE(scan.Start(m_server->Url(m_start)));
    Finish(scan, r, m_dir.filePath("note.txt").toStdString(), before);
    EXPECT_LE(r.Requests, 1) << "the start page at most";
}

}  // namespace
