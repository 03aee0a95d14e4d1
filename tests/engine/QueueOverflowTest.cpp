// Links met while the queue is full wait in the scheduler's overflow: in memory up to its
// budget, then in a spill file. The store alone, then whole crawls that spill, stop while
// spilling, and meet a full disk.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TUrlOverflow.h"
#include "TestServer.h"

namespace {

TUrlOverflow::TEntry Entry(int Number, std::size_t Padding = 0) {
    TUrlOverflow::TEntry e;
    e.Url = "http://h.alpha.test/p" + std::to_string(Number) + ".htm" + std::string(Padding, 'x');
    // Runs of links of one page, as a page's links are queued, among entries without one.
    e.Object.Referrer =
        Number % 7 < 5 ? "http://h.alpha.test/from" + std::to_string(Number / 7) : "";
    e.Object.Depth = Number % 7;
    e.Object.RetryCount = Number % 3;
    e.Object.CountArea = -Number;
    e.Object.TagKind = static_cast<TTagKind>(Number % 256);
    e.Object.FetchMode = Number % 4 ? fetchPage : fetchRobots;
    e.Object.Priority = Number % 5 == 0;
    e.Object.Id = 0x100000000ull + static_cast<unsigned>(Number);
    return e;
}

void ExpectSame(const TUrlOverflow::TEntry& Got, const TUrlOverflow::TEntry& Want) {
    EXPECT_EQ(Got.Url, Want.Url);
    EXPECT_EQ(Got.Object.Referrer, Want.Object.Referrer);
    EXPECT_EQ(Got.Object.Depth, Want.Object.Depth);
    EXPECT_EQ(Got.Object.RetryCount, Want.Object.RetryCount);
    EXPECT_EQ(Got.Object.CountArea, Want.Object.CountArea);
    EXPECT_EQ(Got.Object.TagKind, Want.Object.TagKind);
    EXPECT_EQ(Got.Object.FetchMode, Want.Object.FetchMode);
    EXPECT_EQ(Got.Object.Priority, Want.Object.Priority);
    EXPECT_EQ(Got.Object.Id, Want.Object.Id);
}

// A spill file on a full disk.
std::unique_ptr<TSpillFile> FullDisk(const std::string&, std::string& Error) {
    const int fd = ::open("/dev/full", O_RDWR);
    if (fd >= 0) return std::make_unique<TSpillFile>(fd, "/dev/full");
    Error = "cannot open /dev/full";
    return nullptr;
}

// Adds and takes in waves, so entries pass through memory, the unwritten tail and the file,
// and come back whole and in order. Padding makes some waves pass the file's write batch.
TEST(TUrlOverflow, KeepsOrderAndFieldsThroughMemoryAndFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TUrlOverflow store;
    store.Budget = 50;
    store.Folder = folder.path().toStdString();
    const struct {
        int Add, Take;
        std::size_t Padding;
    } waves[] = {{40, 10, 0}, {500, 100, 0}, {3000, 1000, 300}, {10, 2440, 0}, {70, 70, 0}};
    std::vector<std::size_t> padding;
    int taken = 0;
    std::string spillPath;
    for (const auto& w : waves) {
        for (int i = 0; i < w.Add; ++i) {
            ASSERT_TRUE(store.Add(Entry(static_cast<int>(padding.size()), w.Padding)));
            padding.push_back(w.Padding);
        }
        if (spillPath.empty()) spillPath = store.SpillPath();
        for (int i = 0; i < w.Take; ++i, ++taken) {
            TUrlOverflow::TEntry got;
            ASSERT_TRUE(store.Take(got)) << taken;
            ExpectSame(got, Entry(taken, padding[static_cast<std::size_t>(taken)]));
        }
        EXPECT_EQ(store.Count(), static_cast<int>(padding.size()) - taken);
    }
    EXPECT_TRUE(store.Empty());
    EXPECT_EQ(store.Error(), "");
    EXPECT_GT(store.SpillCount(), 0);
    // The file was made in the folder, for the user alone, and went when the store emptied.
    ASSERT_FALSE(spillPath.empty());
    EXPECT_EQ(QFileInfo(QString::fromStdString(spillPath)).path(), folder.path());
    EXPECT_EQ(store.SpillPath(), "");
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    TUrlOverflow::TEntry none;
    EXPECT_FALSE(store.Take(none));
}

// A backlog that never quite empties: what was read back gives its disk space back, so the file
// holds about what still waits.
TEST(TUrlOverflow, WhatWasReadBackGivesItsSpaceBack) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TUrlOverflow store;
    store.Budget = 10;
    store.Folder = folder.path().toStdString();
    int added = 0, taken = 0;
    TUrlOverflow::TEntry got;
    // About 40 MB pass through the file; a thousand entries (about 1 MB) wait at any time.
    for (int wave = 0; wave < 40; ++wave) {
        for (int i = 0; i < 1000; ++i) ASSERT_TRUE(store.Add(Entry(added++, 1000)));
        while (store.Count() > 1000) {
            ASSERT_TRUE(store.Take(got));
            ExpectSame(got, Entry(taken++, 1000));
        }
    }
    EXPECT_NE(store.SpillPath(), "");
    EXPECT_LT(store.SpillBytesHeld(), 4 * 1024 * 1024);
    while (store.Take(got)) ExpectSame(got, Entry(taken++, 1000));
    EXPECT_EQ(taken, added);
    EXPECT_EQ(store.SpillBytesHeld(), 0);
}

// The spill file has no name in its folder even while it is in use: no other user can open it,
// and a killed process leaves nothing behind.
TEST(TUrlOverflow, TheSpillFileLeavesNoNameBehind) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TUrlOverflow store;
    store.Budget = 1;
    store.Folder = folder.path().toStdString();
    for (int i = 0; i < 2000; ++i) ASSERT_TRUE(store.Add(Entry(i, 100)));
    ASSERT_NE(store.SpillPath(), "");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);
    TUrlOverflow::TEntry got;
    ASSERT_TRUE(store.Take(got));
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.SpillPath(), "");
}

TEST(TUrlOverflow, AFullDiskOrAMissingFolderIsAnErrorNotALoss) {
    TUrlOverflow full;
    full.Budget = 1;
    full.OpenSpill = FullDisk;
    ASSERT_TRUE(full.Add(Entry(0)));
    ASSERT_TRUE(full.Add(Entry(1)));  // waits unwritten, below the write batch
    TUrlOverflow::TEntry got;
    ASSERT_TRUE(full.Take(got));
    EXPECT_FALSE(full.Take(got));  // the second must be written first, and cannot be
    EXPECT_EQ(full.Error(), "cannot write overflow file /dev/full: No space left on device");

    TUrlOverflow nowhere;
    nowhere.Budget = 1;
    nowhere.Folder = "/nonexistent-tarnwick-folder";
    bool added = true;
    for (int i = 0; i < 1000 && added; ++i) added = nowhere.Add(Entry(i, 100));
    EXPECT_FALSE(added);
    EXPECT_EQ(
        nowhere.Error().rfind("cannot create overflow file in /nonexistent-tarnwick-folder: ", 0),
        0u)
        << nowhere.Error();
}

// A site of one index page linking Count pages, each with an address of its own.
class QueueOverflowCrawl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_site.isValid() && m_spill.isValid()); }

    void WriteSite(int Count) {
        std::string index;
        for (int i = 1; i <= Count; ++i) {
            const std::string name = "p" + std::to_string(i) + ".htm";
            index += "<a href=" + name + ">p</a> ";
            Write(name, "<a href=mailto:p" + std::to_string(i) + "@example.com>m</a>");
        }
        Write("index.htm", index);
        m_server = std::make_unique<TestServer>("{}", false, m_site.path().toStdString());
        ASSERT_TRUE(m_server->Start());
    }
    void Write(const std::string& Name, const std::string& Text) {
        QFile file(m_site.filePath(QString::fromStdString(Name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Text.c_str());
    }
    // Queue 10, five deferred links in memory, one download at a time.
    void Configure() {
        m_scan.SetProxyType(PROXY_DIRECT);
        m_scan.SetAdaptiveTicks(true);  // one download at a time is slow at 50 ms a tick
        m_scan.SetFileOfResults("");
        m_scan.SetConcurrentDownloads(1);
        m_scan.SetMaxQueueSize(10);
        m_scan.SetSpillFolder(m_spill.path().toStdString());
        ImplOf(m_scan).Dwnld.Overflow.Budget = 5;
        m_scan.OnWorking = [this](THttpScan&, bool working) { m_ended = !working; };
        m_scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string& url,
                                       const std::string&, const std::string&) {
            m_pages.push_back(url);
            if (m_onPage) m_onPage();
        };
        m_scan.OnLinkFound = [this](THttpScan&, const std::string& url, const std::string& type,
                                    const std::string&, const std::string&, const std::string&,
                                    const std::string&, const std::string&, std::string&, char, int,
                                    bool&) {
            if (type == "mail") m_addresses.push_back(url);
        };
        m_scan.OnError = [this](THttpScan&, const std::string& url, unsigned code,
                                const std::string& message) {
            m_errors.push_back(url + " " + std::to_string(code) + " " + message);
        };
        m_scan.OnUpdatedStats = [this](THttpScan& s, int inQueue, int, int, int, int, int) {
            m_mostQueued = std::max(m_mostQueued, inQueue);
            if (!ImplOf(s).Dwnld.Overflow.SpillPath().empty()) m_sawSpillFile = true;
        };
    }
    void Crawl() {
        ASSERT_TRUE(m_scan.Start(m_server->Url("/index.htm")));
        ASSERT_TRUE(WaitFor([this] { return m_ended; }, 60000));
    }

    QTemporaryDir m_site, m_spill;
    std::unique_ptr<TestServer> m_server;
    THttpScan m_scan;
    std::function<void()> m_onPage;
    std::vector<std::string> m_pages, m_addresses, m_errors;
    int m_mostQueued = 0;
    bool m_sawSpillFile = false;
    bool m_ended = false;
};

TEST_F(QueueOverflowCrawl, ASiteBeyondTheMemoryBudgetSpillsAndIsFetchedWhole) {
    WriteSite(60);
    Configure();
    Crawl();
    EXPECT_TRUE(m_sawSpillFile);
    EXPECT_EQ(m_mostQueued, 10);
    ASSERT_EQ(m_pages.size(), 61u);
    for (int i = 1; i <= 60; ++i) {
        EXPECT_EQ(m_pages[static_cast<std::size_t>(i)],
                  m_server->Url("/p" + std::to_string(i) + ".htm"));
        EXPECT_EQ(m_server->CountRequests("/p" + std::to_string(i) + ".htm"), 1);
    }
    EXPECT_EQ(m_addresses.size(), 60u);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_TRUE(QDir(m_spill.path()).isEmpty());
}

TEST_F(QueueOverflowCrawl, StopWhileSpillingDropsTheOverflowAndItsFile) {
    WriteSite(60);
    Configure();
    std::string spillPath;
    m_onPage = [&] {
        // By the eighth page the five deferred links in memory have moved up, and the spill
        // file is being read back.
        if (m_pages.size() != 8) return;
        spillPath = ImplOf(m_scan).Dwnld.Overflow.SpillPath();
        m_scan.Stop();
    };
    Crawl();
    ASSERT_FALSE(spillPath.empty());  // the index's links had spilled when Stop came
    EXPECT_EQ(m_pages.size(), 8u);
    EXPECT_EQ(m_scan.DeferredCount(), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(spillPath)));
    EXPECT_TRUE(QDir(m_spill.path()).isEmpty());
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(m_scan.SpillFileError(), "");
}

TEST_F(QueueOverflowCrawl, AFullDiskEndsTheRunWithAClearMessage) {
    WriteSite(60);
    Configure();
    ImplOf(m_scan).Dwnld.Overflow.OpenSpill = FullDisk;
    std::vector<std::string> logs;
    m_scan.OnLog = [&](THttpScan&, const std::string& text) { logs.push_back(text); };
    Crawl();
    const std::string message = "cannot write overflow file /dev/full: No space left on device";
    EXPECT_EQ(m_errors, std::vector<std::string>{"/dev/full 0 " + message});
    EXPECT_EQ(logs, std::vector<std::string>{message});
    EXPECT_EQ(m_scan.SpillFileError(), message);
    // The queue's ten and the five in memory may be fetched before the spill is read back.
    EXPECT_LT(m_pages.size(), 61u);
    EXPECT_FALSE(m_scan.Running());
}

}  // namespace
