#include "MetaRefresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinkExtractor.h"

namespace {

// The refresh targets of a page's head, read as the crawler reads them: the head is parsed and
// each of its tags asked.
std::vector<std::string> TargetsOf(const std::string& Head) {
    std::vector<std::string> targets;
    ParseHead("<html><head lang=\"de\">" + Head + "</head><body></body></html>", nullptr,
              [&](const THeadTag& tag, bool) { targets.push_back(MetaRefreshTarget(tag)); });
    return targets;
}

// The described spellings beside those of real pages, which browsers follow as well.
TEST(MetaRefreshTest, FindsTheTargetAsABrowserDoes) {
    const std::pair<const char*, const char*> cases[] = {
        {"<meta http-equiv=\"refresh\" content=\"5; URL=next.htm\">", "next.htm"},
        {"<meta http-equiv=refresh content=5;url=Next.htm>", "Next.htm"},  // case kept
        {"<meta http-equiv=\"Refresh\" content=\"0;URL=http://h/x\">", "http://h/x"},
        {"<meta http-equiv=\"refresh\" content=\"5; url=next.htm\">", "next.htm"},
        {"<meta http-equiv=\"refresh\" content=\"5; URL=\">", ""},
        {"<meta http-equiv=\"refresh\" content=\"5\">", ""},  // the page itself
        {"<meta content=\"5; URL=next.htm\" http-equiv=\"refresh\">", "next.htm"},
        {"<meta name=\"refresh\" content=\"5; URL=next.htm\">", ""},
        {"<link http-equiv=\"refresh\" content=\"5; URL=next.htm\">", ""},
        {"<meta http-equiv=\"refresh\" content=\"0; URL='t.htm'\">", "t.htm"},
        {"<meta http-equiv='REFRESH' content='0; Url=\"t.htm\"'>", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0,url=t.htm\">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0 ; url=t.htm\">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0;\r\n  url=t.htm\">", "t.htm"},
        {"<meta\thttp-equiv=\"refresh\"\r\ncontent=\"0; url = 't.htm' \">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"3;t.htm\">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"3 't.htm'\">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\".5; url=t.htm\">", "t.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0; URLt.htm\">", "URLt.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0; u.htm\">", "u.htm"},
        {"<meta http-equiv=\"refresh\" content=\"0; url='t.htm\">", "t.htm"},  // quote not closed
        {"<meta http-equiv=\"refresh\" content=\"0; url=a.htm?x=1&amp;y=2\">",
         "a.htm?x=1&amp;y=2"},  // references are the caller's
        // More attributes than the meta-tag event carries, and the first of two that repeat.
        {"<meta id=r class=c data-x=1 http-equiv=refresh content=\"0; url=t.htm\">", "t.htm"},
        {"<meta http-equiv=refresh content=\"0; url=a.htm\" content=\"0; url=b.htm\">", "a.htm"},
        // No refresh: a time that is no number, an equiv that is not exactly "refresh", no
        // content.
        {"<meta http-equiv=\"refresh\" content=\"now; url=t.htm\">", ""},
        {"<meta http-equiv=\"refresh\" content=\"0a; url=t.htm\">", ""},
        {"<meta http-equiv=\"refresh \" content=\"0; url=t.htm\">", ""},
        {"<meta http-equiv=\"refresh\">", ""},
    };
    for (const auto& [tag, target] : cases)
        EXPECT_EQ(TargetsOf(tag), std::vector<std::string>{target}) << tag;
}

}  // namespace
