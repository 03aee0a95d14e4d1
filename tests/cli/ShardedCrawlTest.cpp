// One list crawled by 4 shards at once with GNU parallel (the recipe of dist/examples), merged:
// the same harvest as one process's, and every page fetched by one shard only.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <string>

#include "FileText.h"
#include "TestServer.h"

namespace {

constexpr int kSites = 8;  // at 127.0.0.1 to 127.0.0.8, two to each of 4 shards

// Site K: three pages, an address of its own on each, one address shared by every site.
std::string SiteRoutes() {
    std::string routes;
    for (int k = 1; k <= kSites; ++k) {
        const std::string s = "/s" + std::to_string(k) + "/";
        const std::string site = "site" + std::to_string(k) + ".example";
        routes += (routes.empty() ? "" : ",") +
                  ("\"" + s + "\": {\"body\": \"<a href=a.htm>a</a> " + "<a href=mailto:info@" +
                   site + ">i</a> <a href=mailto:all@shared.example>s</a>\"},");
        routes += "\"" + s + "a.htm\": {\"body\": \"<a href=b.htm>b</a> <a href=mailto:team@" +
                  site + ">t</a>\"},";
        routes += "\"" + s + "b.htm\": {\"body\": \"<a href=mailto:deep@" + site + ">d</a>\"}";
    }
    return "{\"routes\": {" + routes + "}}";
}

struct TRun {
    int Exit = -1;
    std::string Err;
};

TRun RunIn(const QString& Program, const QStringList& Args, const QString& Folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        env.remove(proxy);
    // The recipe calls tarnwick-crawl by name: this build's.
    env.insert("PATH", QFileInfo(TARNWICK_CRAWL_BINARY).absolutePath() + ":" + env.value("PATH"));
    env.insert("SHARDS", "4");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(Folder);
    process.start(Program, Args);
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << Program.toStdString() << " did not end within 180 s";
    }
    return {process.exitCode(), process.readAllStandardError().toStdString()};
}

TEST(ShardedCrawlTest, FourShardsWithGnuParallelMergeToOneProcesssHarvest) {
    ASSERT_FALSE(QStandardPaths::findExecutable("parallel").isEmpty())
        << "GNU parallel is missing (make deps installs it)";
    TestServer server(SiteRoutes());
    server.SetAddresses(kSites);
    ASSERT_TRUE(server.Start());
    QTemporaryDir dir;
    std::string list;
    // Out of order, and one site given again by an empty line: it runs once, on its shard.
    for (const int k : {3, 1, 8, 5, 2, 7, 4, 6}) {
        list += "http://127.0.0." + std::to_string(k) + ":" + std::to_string(server.Port()) + "/s" +
                std::to_string(k) + "/\n";
        if (k == 5) list += "\n";
    }
    WriteAll(dir.filePath("starts.txt"), list);

    const TRun single = RunIn(TARNWICK_CRAWL_BINARY,
                              {"--quiet", "--list", "starts.txt", "-o", "single.txt"}, dir.path());
    ASSERT_EQ(single.Exit, 0) << single.Err;
    const TRun sharded =
        RunIn("/bin/sh",
              {TARNWICK_DIST_DIR "/examples/parallel-shards.sh", "starts.txt", "merged.txt", ":"},
              dir.path());
    ASSERT_EQ(sharded.Exit, 0) << sharded.Err;

    const std::string harvest = ReadAll(dir.filePath("single.txt"));
    // 3 addresses of each site and the shared one.
    EXPECT_EQ(std::count(harvest.begin(), harvest.end(), '\n'), 3 * kSites + 1) << harvest;
    EXPECT_EQ(ReadAll(dir.filePath("merged.txt")), harvest);
    std::size_t inShards = 0;
    for (int shard = 1; shard <= 4; ++shard) {
        const std::string part = ReadAll(dir.filePath(QString("shard-%1.txt").arg(shard)));
        // Two sites each: 6 addresses of their own and the shared one.
        EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), 7) << shard << ":\n" << part;
        inShards += part.size();
    }
    EXPECT_GT(inShards, harvest.size());
    // Every page once by the single process and once by the shards together.
    for (int k = 1; k <= kSites; ++k)
        EXPECT_EQ(server.CountRequests("/s" + std::to_string(k) + "/b.htm"), 2) << k;
}

TEST(ShardedCrawlTest, AShardWithoutStartUrlsWritesAnEmptyHarvestAndSucceeds) {
    QTemporaryDir dir;
    WriteAll(dir.filePath("old.txt"), "left from before\n");
    // 127.0.0.1 falls to shard 3 of 4 (see the sites above); shard 1 has nothing to fetch.
    const TRun run =
        RunIn(TARNWICK_CRAWL_BINARY,
              {"--quiet", "--shard", "1/4", "-o", "old.txt", "http://127.0.0.1:9/"}, dir.path());
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Err,
              "tarnwick-crawl: shard 1/4: none of the start URLs falls to this shard (1 in all)\n");
    EXPECT_EQ(ReadAll(dir.filePath("old.txt")), "");
}

}  // namespace
