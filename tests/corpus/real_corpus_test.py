#!/usr/bin/python3
"""Crawls HTML that nobody on the team wrote (the Apache HTTP server manual of Debian's apache2-doc)
with tarnwick-crawl, served by the local test server, and compares the harvest with what a real
HTML parser (Python's html.parser) finds on the same pages, the way a browser reads them. Sites of
our own test the character sets (each page decoded as a browser decodes it) and compression (files
compressed beforehand beside a page are served instead of it).

Usage: real_corpus_test.py CRAWLER TESTSERVER SITE_DIR [START_PAGE]

Other manuals, each made by another generator, are crawled the same way (START_PAGE is the page of
SITE_DIR to begin with, index.html when not given).

What must hold:
  - every page of the site that a link leads to is fetched;
  - every link to a file of the harvested types (jpg, gif, mp3, pdf, zip) is reported;
  - exactly the mailto addresses a browser shows are reported, none garbled.
Where the crawler's answer differs because of a rule it keeps on purpose, the difference is
listed below with its reason and counted in the output; any other difference fails the test.
"""

import email.utils
import html.parser
import json
import os
import posixpath
import re
import subprocess
import sys
import tempfile
import urllib.parse

HARVESTED = {"jpg", "gif", "mp3", "pdf", "zip"}
NAVIGATION = {("a", "href"), ("area", "href"), ("frame", "src"), ("iframe", "src")}
ATTRIBUTE_TEXT = re.compile(r"""(?i)\b(?:href|src|value)\s*=\s*["']?([^"'\s>]*)""")
RESOURCES = {("img", "src"), ("link", "href"), ("script", "src"), ("embed", "src"),
             ("source", "src"), ("input", "src"), ("audio", "src"), ("video", "src"),
             ("img", "srcset"), ("source", "srcset"), ("object", "data"), ("video", "poster")}


def srcset_urls(value):
    """The candidate addresses of a srcset, as a browser splits them: an address runs to the next
    blank and loses trailing commas; its descriptors run to the next comma outside parentheses."""
    urls, pos = [], 0
    while True:
        pos = len(value) - len(value[pos:].lstrip(" \t\r\n\f,"))
        if pos >= len(value):
            return urls
        end = pos
        while end < len(value) and value[end] not in " \t\r\n\f":
            end += 1
        url, pos = value[pos:end], end
        if url.endswith(","):
            url = url.rstrip(",")
        else:
            in_parens = False
            while pos < len(value) and (in_parens or value[pos] != ","):
                in_parens = (in_parens or value[pos] == "(") and value[pos] != ")"
                pos += 1
        if url:
            urls.append(url)


class PageLinks(html.parser.HTMLParser):
    """Link values of one page as a browser sees them: character references decoded, comments and
    text ignored, the first base element and a meta refresh honoured."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []  # (tag, attribute, value)
        self.base = None
        self.refresh = None
        self.shows_attributes = False  # text or comments hold "href=" and the like
        self.shown_values = []  # the values written after them

    def handle_starttag(self, tag, attrs):
        values = {}
        for name, value in attrs:
            values.setdefault(name, value)  # a repeated attribute: the first one counts
        if tag == "base" and self.base is None and values.get("href"):
            self.base = values["href"]
        if tag == "meta" and (values.get("http-equiv") or "").lower() == "refresh":
            content = values.get("content") or ""
            at = content.lower().find("url=")
            if at >= 0:
                self.refresh = content[at + 4:].strip().strip("'\"")
        for name, value in values.items():
            if value is not None and ((tag, name) in NAVIGATION or (tag, name) in RESOURCES):
                for one in srcset_urls(value) if name == "srcset" else [value]:
                    self.links.append((tag, name, one))

    handle_startendtag = handle_starttag

    def handle_data(self, data):
        shown = ATTRIBUTE_TEXT.findall(data)
        self.shows_attributes |= bool(shown)
        self.shown_values += shown

    handle_comment = handle_data


# WHATWG labels of the sites' encodings and the Python codecs that read them as browsers do.
CODECS = {"utf-8": "utf-8", "utf8": "utf-8", "iso-8859-1": "cp1252", "latin1": "cp1252",
          "us-ascii": "cp1252", "windows-1252": "cp1252", "windows-1251": "cp1251",
          "koi8-r": "koi8_r", "shift_jis": "cp932", "sjis": "cp932", "euc-jp": "euc_jp",
          "gbk": "gbk", "gb2312": "gbk", "utf-16le": "utf-16-le", "utf-16be": "utf-16-be"}
META_CHARSET = re.compile(rb"""(?i)<meta[^>]*?charset\s*=\s*["']?([-\w:]+)""")


def page_codec(data):
    """The encoding a browser reads a page in when the server names none: byte-order mark, a meta
    declaration near the start, else UTF-8 when valid and windows-1252 when not."""
    for bom, codec in ((b"\xef\xbb\xbf", "utf-8-sig"), (b"\xff\xfe", "utf-16"),
                       (b"\xfe\xff", "utf-16")):
        if data.startswith(bom):
            return codec
    declared = META_CHARSET.search(data[:1024])
    if declared:
        codec = CODECS.get(declared.group(1).decode("ascii").lower())
        if codec:
            return "utf-8" if codec.startswith("utf-16") else codec
    try:
        data.decode("utf-8")
        return "utf-8"
    except UnicodeDecodeError:
        return "cp1252"


def browser_url(url, codec):
    """The address as a browser sends it: the path as UTF-8, the query in the page's encoding."""
    parts = urllib.parse.urlsplit(url)
    safe = "/%:@!$&'()*+,;=-._~?"
    query_codec = "utf-8" if codec.startswith("utf") else codec
    query = urllib.parse.quote(parts.query.encode(query_codec, "xmlcharrefreplace"), safe=safe)
    return urllib.parse.urlunsplit((parts.scheme, parts.netloc,
                                    urllib.parse.quote(parts.path, safe=safe), query, ""))


def browser_value(value):
    # URL parsers drop leading and trailing blanks and every tab and line break.
    return value.strip(" \t\r\n\f").replace("\t", "").replace("\n", "").replace("\r", "")


def extension(url):
    last = posixpath.basename(urllib.parse.urlsplit(url).path)
    ext = last.rsplit(".", 1)[1].lower() if "." in last else ""
    return {"jpeg": "jpg"}.get(ext, ext)


def key(url):
    """Compares addresses as the server would read them: percent escapes decoded."""
    return urllib.parse.unquote(urllib.parse.urldefrag(url)[0])


def is_address(text):
    local, at, domain = text.rpartition("@")
    return at == "@" and "@" not in local.strip('"') and 1 <= len(local) <= 64 \
        and 1 <= len(domain) <= 255


def mail_addresses(value):
    """What a mail program takes from a mailto value (RFC 6068): the addresses before "?" and in
    the to, cc and bcc fields, without display names; "(a@b.de)" is the address a@b.de."""
    to, _, query = value[len("mailto:"):].split("#", 1)[0].partition("?")
    lists = [urllib.parse.unquote(to)]
    for field in query.split("&") if query else []:
        name, _, text = field.partition("=")
        if urllib.parse.unquote(name).lower() in ("to", "cc", "bcc"):
            lists.append(urllib.parse.unquote(text))
    # A page's "(a@b.de)" is an address in brackets, which the parser would take for a comment.
    lists = [re.sub(r"\(([^()\s]+@[^()\s]+)\)", r"\1", text) for text in lists]
    addresses = []
    for _, address in email.utils.getaddresses(lists):
        if is_address(address):
            addresses.append(address)
    return addresses


class Site:
    """The served folder, read the way the test server answers: a folder gives its index page."""

    def __init__(self, root, origin):
        self.root, self.origin = root, origin

    def file_of(self, url):
        parts = urllib.parse.urlsplit(url)
        if "%s://%s" % (parts.scheme, parts.netloc) != self.origin:
            return None
        path = urllib.parse.unquote(parts.path)
        local = os.path.join(self.root, path.lstrip("/"))
        for candidate in ([os.path.join(local, "index.htm"), os.path.join(local, "index.html")]
                          if path.endswith("/") else [local]):
            if os.path.isfile(candidate):
                return candidate
        return None

    def is_page(self, url):
        f = self.file_of(url)
        return f is not None and f.endswith((".htm", ".html"))


class Reading:
    """What a reader meets: the pages, every link value on them (resolved), the links to missing
    files, and the pages that show attribute text (example code)."""

    def __init__(self):
        self.pages, self.found, self.broken, self.showing = set(), [], set(), set()
        self.shown = set()  # where the values of shown attribute text lead (a base among them)
        self.cut = set()  # where values cut by the value rules lead (see cut_values)


def cut_values(value):
    """The value rules of the extractor that a browser does not know: a value ends at its first
    blank or comma, and one with "(" is taken for a script call whose argument is the link."""
    if re.match(r"(?i)(mailto|https?):", value):
        return []  # a value that names its scheme is read as written
    cuts = [re.split(r"[ ,]", value, 1)[0]]
    if "(" in value[1:]:
        inner = value[value.index("(") + 1:].split(")")[0]
        cuts += [inner, re.split(r"[ ,]", inner, 1)[0]]
    return [c for c in cuts if c != value]


def browse(site, start):
    reading, queue = Reading(), [start]
    while queue:
        url = queue.pop()
        if key(url) in reading.pages:
            continue
        if not site.is_page(url):
            if site.file_of(url) is None and urllib.parse.urlsplit(url).netloc in site.origin:
                reading.broken.add(key(url))
            continue
        reading.pages.add(key(url))
        parser = PageLinks()
        with open(site.file_of(url), "rb") as f:
            data = f.read()
        codec = page_codec(data)
        parser.feed(data.decode(codec, "replace"))
        if parser.shows_attributes:
            reading.showing.add(key(url))
            reading.shown |= {key(urllib.parse.urljoin(url, v)) for v in parser.shown_values}
        base = urllib.parse.urljoin(url, browser_value(parser.base)) if parser.base else url
        targets = [("meta", "refresh", parser.refresh)] if parser.refresh else []
        for tag, name, value in parser.links + targets:
            value = browser_value(value)
            for cut in cut_values(value):
                reading.cut.add(key(urllib.parse.urljoin(base, cut)))
            if value.lower().startswith("mailto:"):
                reading.found += [("mail", address, url) for address in mail_addresses(value)]
                continue
            if value.lower().startswith("javascript:"):
                continue
            resolved = browser_url(urllib.parse.urldefrag(urllib.parse.urljoin(base, value))[0],
                                   codec)
            reading.found.append((tag + "." + name, resolved, url))
            if (tag, name) in NAVIGATION or tag == "meta":
                queue.append(resolved)
    return reading


def crawl(crawler, start, workdir, types=("--all-types",)):
    out = os.path.join(workdir, "harvest.tsv")
    run = subprocess.run([crawler, "--no-proxy", "--follow", "site", *types, "--depth",
                          "100", "--format", "tsv", "-q", "-o", out, start],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    if run.returncode != 0:
        sys.exit("tarnwick-crawl failed (%d): %s" % (run.returncode, run.stderr.decode()))
    with open(out, encoding="utf-8", errors="surrogateescape") as f:
        # type, URL, page (the fourth column names the start URL)
        return [tuple(line.rstrip("\n").split("\t")[:3]) for line in f if line.strip()]


def start_server(server, site_dir, workdir):
    config = os.path.join(workdir, "config.json")
    with open(config, "w") as f:
        json.dump({"routes": {}}, f)
    log = os.path.join(workdir, "requests.jsonl")
    process = subprocess.Popen([sys.executable, server, "--config", config, "--log", log,
                                "--site", site_dir], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline().split()
    if len(line) != 2 or line[0] != "PORT":
        process.kill()
        sys.exit("the test server did not start")
    return process, int(line[1]), log


def report(title, items, limit=10):
    print("%s: %d" % (title, len(items)))
    for item in sorted(items)[:limit]:
        print("    " + (" ".join(item) if isinstance(item, tuple) else item))


def compressed_files(site_dir):
    return [os.path.join(folder, name) for folder, _, names in os.walk(site_dir)
            for name in names if name.endswith((".br", ".zst", ".gz"))]


def main():
    crawler, server, site_dir = sys.argv[1:4]
    start_page = sys.argv[4] if len(sys.argv) > 4 else "index.html"
    if not os.path.isfile(os.path.join(site_dir, start_page)):
        sys.exit("the corpus is missing: %s (Debian's documentation packages; 'make deps' "
                 "installs them)" % os.path.join(site_dir, start_page))
    with tempfile.TemporaryDirectory() as workdir:
        process, port, log = start_server(server, site_dir, workdir)
        try:
            origin = "http://127.0.0.1:%d" % port
            start = origin + "/" + start_page
            harvest = crawl(crawler, start, workdir)
            mail_only = crawl(crawler, start, workdir, ("-t", "mail"))
        finally:
            process.stdin.close()  # the server ends when its input does
            process.wait()
        with open(log) as f:
            entries = [json.loads(line) for line in f]
        requested = {key(origin + e["target"]) for e in entries}
        uncompressed = [e["target"] for e in entries
                        if e["headers"].get("accept-encoding") != "gzip, deflate, br, zstd"]

    site = Site(site_dir, origin)
    reading = browse(site, start)
    pages, browsed = reading.pages, reading.found
    ours = {(kind, key(url)) for kind, url, _ in harvest}
    found_on = {}
    for _, url, page in harvest:
        found_on.setdefault(key(url), set()).add(key(page))
    failures = []

    # Compression: every request asks for it, so the files compressed beforehand are sent.
    report("files compressed beforehand", compressed_files(site_dir), 0)
    report("requests not asking for gzip, deflate, br and zstd (fault)", uncompressed)
    failures += ["no Accept-Encoding: " + t for t in uncompressed]

    # Pages: every page a reader reaches is fetched ("FAQ.html" and "faq.html" are two).
    missing_pages = pages - requested
    report("pages a reader reaches", pages, 0)
    report("of them not fetched (fault)", missing_pages)
    failures += ["page not fetched: " + p for p in missing_pages]

    # Asked for beyond them, each for a rule the crawler keeps on purpose.
    resources = {key(url) for kind, url, _ in browsed
                 if tuple(kind.split(".")) in RESOURCES}
    reasons = [
        # Asked before the first page: tarnwick-crawl obeys robots.txt by default.
        ("the server's robots.txt", lambda u: u == key(origin + "/robots.txt")),
        ("broken links of the manual (a reader meets the same 404)", lambda u: u in reading.broken),
        # Style sheets and scripts: no file type, so pages; their answer is skipped unread.
        ("resources typed as pages by their extension", lambda u: u in resources),
        ("values cut by the value rules (first blank, script call)", lambda u: u in reading.cut),
        # Extensions the file type catalogue lacks (.js, .py) name pages; their answer is skipped.
        ("files typed as pages by their extension",
         lambda u: site.file_of(u) is not None and not site.is_page(u)),
        # The extractor reads attribute patterns anywhere in the text, also in example code.
        ("links read from attribute text that the page shows",
         lambda u: u in reading.shown or bool(found_on.get(u, set()) & reading.showing)),
        # A page that only a resource link leads to (<link rel="search" href="search.html">) is
        # fetched as a page, and its own links with it.
        ("links of pages that only resource links lead to",
         lambda u: bool(found_on.get(u, set()) & (resources - pages))),
    ]
    unexplained = requested - pages - {key(start)}
    for title, applies in reasons:
        explained = {u for u in unexplained if applies(u)}
        report("also asked for: " + title, explained, 2)
        unexplained -= explained
    report("also asked for, unexplained (fault)", unexplained)
    failures += ["unexplained request: " + u for u in unexplained]

    # Files of the harvested types: every one is reported with its type.
    files = {(extension(url), key(url)) for kind, url, _ in browsed
             if kind != "mail" and extension(url) in HARVESTED}
    # The type comes from the last path segment ("x.gif?v=2" is a gif); a name holding "&" is a
    # page, as described.
    with_amp = {f for f in files if "&" in posixpath.basename(urllib.parse.urlsplit(f[1]).path)}
    missing_files = files - with_amp - ours
    report("file links of the harvested types", files, 0)
    report("of them typed as pages for the '&' in their name", with_amp, 3)
    report("of them not reported (fault)", missing_files)
    failures += ["file link not reported: %s %s" % f for f in missing_files]

    # Mail: exactly the addresses a browser shows.
    mails = {url for kind, url, _ in browsed if kind == "mail"}
    our_mails = {url for kind, url, _ in harvest if kind == "mail"}
    # An address met again in another letter case is the same one, reported once.
    our_folded = {m.lower() for m in our_mails}
    missing_mails = {m for m in mails if m.lower() not in our_folded}
    report("mailto addresses", mails)
    report("of them reported in another letter case", mails - our_mails - missing_mails, 3)
    report("missing addresses (fault)", missing_mails)
    report("addresses no browser shows (fault)", our_mails - mails)
    failures += ["address missing: " + m for m in missing_mails]
    failures += ["address not on the pages: " + m for m in our_mails - mails]
    # Asked for mail alone, the crawler finds the same addresses. Of one address written in two
    # letter cases, the spelling met first is reported, and which page comes first may vary.
    mail_run = {url.lower() for kind, url, _ in mail_only if kind == "mail"}
    report("addresses that a crawl for mail alone differs in (fault)", mail_run ^ our_folded)
    failures += ["mail-only crawl differs: " + m for m in mail_run ^ our_folded]

    # Character references are text of the page, never part of an address.
    garbled = {url for _, url, _ in harvest if re.search(r"&(amp|#\d+|#x[0-9a-f]+);", url, re.I)}
    garbled -= {url for _, url, _ in browsed}
    report("addresses holding undecoded character references (fault)", garbled)
    failures += ["undecoded reference: " + u for u in garbled]

    if failures:
        print("%d differences are faults" % len(failures))
        sys.exit(1)
    print("the harvest matches the browser's reading of %d pages" % len(pages))


if __name__ == "__main__":
    main()
