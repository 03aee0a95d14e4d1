// The run's decision log: one record per distinct URL, found again under its key (another case
// of scheme and host, another way of writing it), the first decision kept, a later robots.txt
// refusal folded in.

#include <gtest/gtest.h>

#include "TLinkDecisionLog.h"

namespace {

TLinkDecision Decision(const std::string& Resolved, bool Followed, TLinkReason Follow,
                       const std::string& Value = "x") {
    TLinkDecision d;
    d.Value = Value;
    d.Resolved = Resolved;
    d.TypeLink = "htm";
    d.Alive = !Resolved.empty() && Follow != TLinkReason::Exclude;
    d.Reported = d.Alive;
    d.Followed = Followed;
    d.FollowReason = Follow;
    if (!d.Alive) d.ReportReason = Follow;
    if (Follow == TLinkReason::Exclude) d.Keyword = "logout";
    return d;
}

TEST(TLinkDecisionLog, KeepsTheFirstDecisionPerUrlUnderItsKey) {
    TLinkDecisionLog log;
    log.NoteStart("http://h.test/");
    log.Note(Decision("http://h.test/a.htm", true, TLinkReason::None), "http://h.test/", 1);
    log.Note(Decision("HTTP://H.TEST:80/./%61.htm", false, TLinkReason::Seen),
             "http://h.test/b.htm", 2);
    log.Note(Decision("http://h.test/A.htm", false, TLinkReason::Depth), "http://h.test/b.htm", 3);
    log.Note(Decision("http://h.test/logout.htm", false, TLinkReason::Exclude), "http://h.test/",
             1);
    log.Note(Decision("", false, TLinkReason::Scheme, "javascript:go()"), "http://h.test/", 1);
    EXPECT_EQ(log.Count(), 5u);
    EXPECT_EQ(log.Find("http://h.test/A.htm")->FollowReason, TLinkReason::Depth);

    const auto a = log.Find("http://H.test/a.htm#top");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Url, "http://h.test/a.htm");
    EXPECT_EQ(a->FromUrl, "http://h.test/");
    EXPECT_EQ(a->Depth, 1);
    EXPECT_TRUE(a->Followed);
    EXPECT_TRUE(a->Reported);

    const auto out = log.Find("http://h.test/logout.htm");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->Keyword, "logout");
    EXPECT_EQ(out->FollowReason, TLinkReason::Exclude);
    EXPECT_FALSE(out->Reported);
    EXPECT_EQ(out->TypeLink, "");

    ASSERT_TRUE(log.Find("JavaScript:go()"));
    const auto start = log.Find("http://h.test/");
    ASSERT_TRUE(start);
    EXPECT_TRUE(start->Start);
    EXPECT_EQ(start->FromUrl, "");
    EXPECT_FALSE(log.Find("http://h.test/never.htm"));

    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_FALSE(log.Find("http://h.test/a.htm"));
}

TEST(TLinkDecisionLog, ARefusalOfTheSchedulerTurnsAFollowedLinkIntoANo) {
    TLinkDecisionLog log;
    log.Note(Decision("http://h.test/private/p.htm", true, TLinkReason::None), "http://h.test/", 1);
    log.NoteNotFetched("http://h.test/private/p.htm", TLinkReason::Robots);
    log.NoteNotFetched("http://h.test/unknown.htm", TLinkReason::Robots);
    const auto p = log.Find("http://h.test/private/p.htm");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->Followed);
    EXPECT_TRUE(p->Reported);
    EXPECT_EQ(p->FollowReason, TLinkReason::Robots);
    EXPECT_EQ(p->Failure, TFetchFailure::None);
    EXPECT_EQ(log.Count(), 1u);

    // An unread robots.txt keeps what its request met; a failed download what it met. Both
    // are kept by the record, found in any letter case, and go with Clear.
    log.NoteStart("http://down.test:81/");
    log.NoteNotFetched("http://down.test:81/", TLinkReason::RobotsUnreachable,
                       TFetchFailure::ConnectionRefused, 0);
    log.Note(Decision("http://h.test/gone.htm", true, TLinkReason::None), "http://h.test/", 1);
    log.NoteFailed("HTTP://H.TEST/gone.htm", TFetchFailure::HttpStatus, 404);
    const auto down = log.Find("http://down.test:81/");
    ASSERT_TRUE(down);
    EXPECT_EQ(down->FollowReason, TLinkReason::RobotsUnreachable);
    EXPECT_EQ(down->Failure, TFetchFailure::ConnectionRefused);
    const auto gone = log.Find("http://h.test/gone.htm");
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->Failure, TFetchFailure::HttpStatus);
    EXPECT_EQ(gone->FailureStatus, 404);
    EXPECT_EQ(gone->FollowReason, TLinkReason::None);
    EXPECT_STREQ(LinkReasonWord(TLinkReason::RobotsUnreachable), "robots-unreachable");
    log.Clear();
    log.Note(Decision("http://h.test/gone.htm", true, TLinkReason::None), "http://h.test/", 1);
    EXPECT_EQ(log.Find("http://h.test/gone.htm")->Failure, TFetchFailure::None);
}

TEST(TLinkDecisionLog, ManyUrlsAcrossBlocksAndGrowthAreAllFoundInOrder) {
    TLinkDecisionLog log;
    const int n = 60000;  // several text blocks and index growths
    for (int i = 0; i < n; ++i)
        log.Note(
            Decision("http://h.test/page" + std::to_string(i) + ".htm", i % 2, TLinkReason::None),
            "http://h.test/from" + std::to_string(i / 50) + ".htm", 2);
    ASSERT_EQ(log.Count(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; i += 997) {
        const auto r = log.Find("HTTP://H.test/page" + std::to_string(i) + ".htm");
        ASSERT_TRUE(r) << i;
        EXPECT_EQ(r->FromUrl, "http://h.test/from" + std::to_string(i / 50) + ".htm");
        EXPECT_EQ(r->Followed, i % 2 == 1);
    }
    int seen = 0;
    log.ForEach([&](const TLinkRecord& r) {
        if (seen < 3) {
            EXPECT_EQ(r.Url, "http://h.test/page" + std::to_string(seen) + ".htm");
        }
        ++seen;
    });
    EXPECT_EQ(seen, n);
}

}  // namespace
