#pragma once
// A site for the test server whose start page links to pages that each fail in their own way,
// with the reason the crawler must give for each: the engine's and the command line's tests of
// the failure reasons share it.

#include <string>
#include <vector>

struct FailingPage {
    std::string Link;    // a path of the site, or an absolute URL
    std::string Reason;  // FetchFailureText's words
    int Status;          // the status OnError carries: that of the last attempt, 0 for none
    int Attempts;        // downloads made with one retry allowed (each may send several requests)
};

// The slow page needs a TimeOut of 1 s to fail; the start page is "/".
inline std::vector<FailingPage> FailingPages() {
    return {
        {"/loop.htm", "redirect loop", 0, 2},
        {"/chain1.htm", "too many redirects", 0, 2},
        {"/to-file.htm", "refused scheme", 0, 2},
        {"/slow.htm", "timed out", 200, 2},
        {"/reset.htm", "connection reset", 200, 2},
        {"/closed.htm", "empty reply", 0, 2},
        {"/short.htm", "cut short", 200, 2},
        {"/untyped.htm", "no content type", 200, 2},
        {"/blank.htm", "empty body", 200, 2},
        {"/busy.htm", "HTTP status 503", 503, 2},
        {"/gone.htm", "HTTP status 404", 404, 1},
        // Not retried: the answer would be the same refusal (no login is given).
        {"/login.htm", "login required", 401, 1},
        {"http://127.0.0.1:1/", "connection refused", 0, 2},
        {"http://x.invalid/", "host not found", 0, 2},
    };
}

// The page's absolute URL on the site at Base ("http://127.0.0.1:PORT").
inline std::string FailingUrl(const std::string& Base, const FailingPage& Page) {
    return Page.Link.rfind("http", 0) == 0 ? Page.Link : Base + Page.Link;
}

// The routes of the site: the start page and every failing page of FailingPages on it; a chain
// of 22 redirects is one more than allowed.
inline std::string FailingSiteConfig(const std::vector<FailingPage>& Pages) {
    std::string links;
    for (const FailingPage& page : Pages) links += "<a href=\\\"" + page.Link + "\\\">x</a> ";
    std::string routes = R"("/": {"body": ")" + links + R"("},
        "/loop.htm": {"redirect": "/loop.htm"},
        "/to-file.htm": {"redirect": "file:///etc/passwd"},
        "/slow.htm": {"body": "<p>late</p>", "delay_after_headers": 5},
        "/reset.htm": {"body": "<p>broken</p>", "reset_after": 0},
        "/closed.htm": {"close_without_response": true},
        "/short.htm": {"body": "<p>short", "content_length": 1000},
        "/untyped.htm": {"body": "<p>x</p>", "content_type": null},
        "/blank.htm": {"body": ""},
        "/busy.htm": {"status": 503, "body": "<p>busy</p>"},
        "/gone.htm": {"status": 404, "body": "<p>gone</p>"},
        "/login.htm": {"auth": {"user": "anna", "password": "pw"}, "body": "<p>in</p>"})";
    for (int i = 1; i <= 22; ++i)
        routes += ",\n\"/chain" + std::to_string(i) + ".htm\": {\"redirect\": \"/chain" +
                  std::to_string(i + 1) + ".htm\"}";
    return "{\"routes\": {" + routes + "}}";
}
