// Sitemaps of the crawler's state object: which sitemap files of a server are fetched, and what
// becomes of the locations they name. See TImpl.h.

#include <utility>

#include "LinkClassifier.h"
#include "PlainUrl.h"
#include "SitemapReader.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "UrlIdentity.h"

void TImpl::NoteSitemapServer(const std::string& Url, int Depth) {
    if (!SeekSitemaps) return;
    const std::string server = ServerOf(Url);
    if (server.empty() || !SitemapServers.try_emplace(server, Depth).second) return;
    // Nothing to wait for without robots.txt, or with one read already (for a sitemap file of
    // another server's robots.txt).
    if (!Dwnld.Policy.Settings.ObeyRobotsTxt || Dwnld.Policy.RulesOf(server))
        SeekSitemapsOf(server);
}

void TImpl::RobotsKnown(const std::string& Server) {
    if (SeekSitemaps) SeekSitemapsOf(Server);
}

void TImpl::SeekSitemapsOf(const std::string& Server) {
    // Only servers with a page to crawl: one that merely holds another's sitemap is not asked.
    const auto found = SitemapServers.find(Server);
    if (found == SitemapServers.end() || found->second < 0) return;
    const int depth = std::exchange(found->second, -1);
    // Its pages would lie beyond the depth limit: the files are not worth a request.
    if (depth >= Dwnld.DepthLimit || Dwnld.Stopping) return;
    TCrackUrl robots;
    if (!robots.Crack(Server + "/robots.txt")) return;
    robots.Crack(OriginOf(robots) + "/robots.txt");
    std::vector<std::string> named;
    if (Dwnld.Policy.Settings.ObeyRobotsTxt) {
        const TRobotsTxt* rules = Dwnld.Policy.RulesOf(Server);
        // Nothing of a server whose robots.txt could not be read is fetched, its sitemaps neither.
        if (!rules) return;
        for (const std::string& value : rules->Sitemaps()) {
            const TResolvedLink link = ResolveLink(robots, value);
            if (!link.Mail && IsWebUrl(link.Resolved)) named.push_back(link.Resolved);
        }
    }
    if (named.empty()) named.push_back(OriginOf(robots) + "/sitemap.xml");
    for (const std::string& url : named) QueueSitemap(url, "", depth);
}

void TImpl::QueueSitemap(const std::string& Url, const std::string& Referrer, int Depth) {
    if (Dwnld.Stopping || !SitemapFiles.insert(VisitedKey(Url)).second) return;
    int& files = SitemapFilesPerServer[ServerOf(Url)];
    if (files >= MaxSitemapFiles) {
        if (files++ == MaxSitemapFiles)
            Log("sitemap not read (more than " + std::to_string(MaxSitemapFiles) +
                " sitemap files on its server): " + Url);
        return;
    }
    ++files;
    if (Dwnld.AddUrl(Url, {.Referrer = Referrer, .Depth = Depth, .FetchMode = fetchSitemap}))
        Ledger.QueuedOther(static_cast<std::uint32_t>(Dwnld.LastEntryId), Depth);
}

void TImpl::SitemapReceived(THttpGet& Sitemap) {
    const std::string& url = Sitemap.UrlParts.Url;
    const TSitemap map = ReadSitemap(Sitemap.Body);
    for (const std::string& problem : map.Problems) Log("sitemap " + url + ": " + problem);
    int taken = 0;
    if (map.Kind == TSitemapKind::Index) {
        // The protocol lets an index name files of its own server only; others are not asked.
        const std::string server = ServerOf(url);
        for (const std::string& child : map.Locations) {
            if (ServerOf(child) != server) continue;
            QueueSitemap(child, url, Sitemap.Depth);
            ++taken;
        }
    } else if (map.Kind == TSitemapKind::UrlSet) {
        TPageContext page;
        page.PageParts = Sitemap.UrlParts;
        page.Depth = Sitemap.Depth;
        TLinkDecision decision;
        Ledger.Hold();
        for (const std::string& location : map.Locations) {
            if (Dwnld.Stopping) break;
            if (FollowSitemapPage(page, location, decision)) ++taken;
        }
        Ledger.Release();
    }
    Log("sitemap read: " + url + " (" + std::to_string(map.Locations.size()) + " locations, " +
        std::to_string(taken) + (map.Kind == TSitemapKind::Index ? " sitemaps" : " pages") +
        " taken)");
}

bool TImpl::FollowSitemapPage(const TPageContext& Sitemap, const std::string& Location,
                              TLinkDecision& Decision) {
    TLinkDecision& d = Decision;
    DecideLink(Sitemap, StartUrlParts, Rules, LinkState(), Location, d);
    // Pages only: a file or an address named by a sitemap is no link the run met.
    if (d.Resolved.empty() || !d.Web || d.TypeLink != "htm") return false;
    if (Owner.WithholdLink && Owner.WithholdLink(d.Resolved, d.TypeLink)) return false;
    if (d.Again) {
        if (d.Shorter)
            Shorten({std::string(VisitedUrls.Strings(d.UrlIndex)), Sitemap.Depth + 1, Sitemap.Url(),
                     Sitemap.Depth, tagNone},
                    true);
        return d.Shorter;
    }
    if (!d.Alive || d.QueuedByRefresh || !d.Followed) return false;
    if (d.NewHost) {
        VisitedHosts.Insert(d.HostInsertPos, d.LinkParts.HostName);
        JournalHost(d.LinkParts.HostName, false);
    }
    VisitedUrls.Insert(d.UrlInsertPos, d.Key);
    // Unwritten: the first page that links to it reports it, as if the sitemap had not been read.
    TVisit visit{.Flags = TVisit::kFollowedPage | TVisit::kUnwritten, .Depth = Sitemap.Depth + 1};
    const bool queued =
        QueuePage(d.Resolved, {.Referrer = Sitemap.Url(), .Depth = visit.Depth, .TagKind = tagNone},
                  &d.LinkParts);
    if (queued) {
        visit.State = TVisitState::Waiting;
        visit.Entry = static_cast<std::uint32_t>(Dwnld.LastEntryId);
    }
    VisitedUrls.SetObject(d.UrlInsertPos, visit.Value());
    JournalVisited(d.Resolved, visit.JournalFlag());
    return queued;
}
