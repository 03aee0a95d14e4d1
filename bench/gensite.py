#!/usr/bin/python3
"""Writes a deterministic test site for the whole-crawl benchmark, and what a crawler must find.

Usage: gensite.py --out DIR --base http://127.0.0.1:PORT [--fanout 6] [--levels 5] [--seed 1]

The pages form a tree: the start page /index.html has depth 1, and each page of depth d < levels
links `fanout` children of depth d + 1 (pages of the last level but one get a single child, so
that a crawl limited to levels - 1 has something to leave alone). Besides its children a page
links its siblings, its ancestors and the start page, never a page deeper than itself elsewhere
in the tree: so a page's depth is the same whatever order a crawler fetches in, and the expected
set does not depend on timing.

Every link to a page uses one of several forms of that page's one address: relative, absolute
path, absolute URL, with a fragment; some pages have a query in their address. Pages also hold
images, links to files (pdf, zip, mp3, doc), mailto links and filler text, 5 to 20 KB in all.

DIR/expected.json lists, by depth: the page addresses, and the addresses (mail) and file links
that appear on pages of that depth. A crawl to depth D must fetch every page of depth <= D and
report every address and file of depth <= D.
"""

import argparse
import json
import os
import random

FILE_TYPES = ["pdf", "zip", "mp3", "doc"]
WORDS = ("harvest crawler spider page link anchor folder archive report letter summary "
         "meadow river stone winter harvest market station garden bridge lantern copper "
         "signal orchard meeting minutes budget schedule contact office address").split()


class Page:
    def __init__(self, ident, depth, parent):
        self.ident = ident
        self.depth = depth
        self.parent = parent
        self.children = []
        self.folder = "/" if depth == 1 else "/d%d/" % depth
        self.name = "index.html" if depth == 1 else "p%d.html" % ident
        self.query = ""
        self.mails = []
        self.files = []
        self.images = []

    def path(self):
        return self.folder + self.name

    def address(self, base):
        return base + self.path() + self.query


def build_tree(rng, fanout, levels):
    pages = [Page(0, 1, None)]
    level = [pages[0]]
    for depth in range(2, levels + 1):
        nxt = []
        for parent in level:
            count = fanout if depth < levels else 1
            for _ in range(count):
                page = Page(len(pages), depth, parent)
                # Some pages are known by an address with a query only.
                if rng.random() < 0.15:
                    page.query = "?view=%d" % rng.randint(1, 9)
                parent.children.append(page)
                pages.append(page)
                nxt.append(page)
        level = nxt
    return pages


def link_forms(rng, page, target, base):
    """One href for target as seen from page, in a form picked at random."""
    form = rng.randint(0, 4)
    if form == 0:
        href = target.path() + target.query
    elif form == 1:
        href = base + target.path() + target.query
    elif form == 2:
        href = target.path() + target.query + "#part%d" % rng.randint(1, 3)
    else:
        # Relative to the page's own folder.
        if target.folder == page.folder:
            href = target.name + target.query
        elif page.folder == "/":
            href = target.folder.lstrip("/") + target.name + target.query
        else:
            href = "../" + target.folder.lstrip("/") + target.name + target.query
    return href


def filler(rng, size):
    out = []
    total = 0
    while total < size:
        sentence = " ".join(rng.choice(WORDS) for _ in range(rng.randint(8, 18))).capitalize()
        paragraph = "<p>%s.</p>\n" % sentence
        out.append(paragraph)
        total += len(paragraph)
    return "".join(out)


def decorate(rng, page, base):
    """Chooses the page's addresses, files and images."""
    for k in range(rng.randint(1, 3)):
        page.mails.append("user%d.%d@example%d.org" % (page.ident, k, page.ident % 7))
    for k in range(rng.randint(1, 3)):
        ext = rng.choice(FILE_TYPES)
        page.files.append(base + "/files/f%d_%d.%s" % (page.ident, k, ext))
    for k in range(rng.randint(1, 2)):
        page.images.append("/img/i%d_%d.jpg" % (page.ident, k))


def render(rng, page, base):
    links = []
    for child in page.children:
        links.append(link_forms(rng, page, child, base))
        if rng.random() < 0.3:  # the same child again, in another form
            links.append(link_forms(rng, page, child, base))
    others = []
    if page.parent:
        others += [p for p in page.parent.children if p is not page][:3]
        ancestor = page.parent
        while ancestor:
            others.append(ancestor)
            ancestor = ancestor.parent
    for other in others:
        links.append(link_forms(rng, page, other, base))
    rng.shuffle(links)
    body = ["<!DOCTYPE html>\n<html><head><title>Page %d</title>"
            "<meta name=\"description\" content=\"bench page %d\"></head><body>\n"
            % (page.ident, page.ident),
            "<h1>Page %d</h1>\n" % page.ident]
    size = rng.randint(5000, 19000)
    parts = [filler(rng, size // 4) for _ in range(4)]
    body.append(parts[0])
    body.append("<ul>\n" + "".join("<li><a href=\"%s\">link %d</a></li>\n" % (h, i)
                                   for i, h in enumerate(links)) + "</ul>\n")
    body.append(parts[1])
    for image in page.images:
        body.append("<img src=\"%s\" alt=\"picture\">\n" % image)
    for url in page.files:
        # Files are linked by a path relative to the site's root, or absolutely.
        href = url[len(base):] if rng.random() < 0.5 else url
        body.append("<p><a href=\"%s\">download</a></p>\n" % href)
    body.append(parts[2])
    for mail in page.mails:
        body.append("<p>Write to <a href=\"mailto:%s\">%s</a></p>\n" % (mail, mail))
    body.append(parts[3])
    body.append("</body></html>\n")
    return "".join(body)


def write_file(root, path, data):
    full = os.path.join(root, path.lstrip("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(full, mode) as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--base", required=True, help="scheme, host and port, no final slash")
    parser.add_argument("--fanout", type=int, default=6)
    parser.add_argument("--levels", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    base = args.base.rstrip("/")

    # The tree and its contents come from the seed alone; the base only changes the text.
    rng = random.Random(args.seed)
    pages = build_tree(rng, args.fanout, args.levels)
    for page in pages:
        decorate(rng, page, base)
    expected = {"pages": {}, "mail": {}, "files": {}}
    for page in pages:
        write_file(args.out, page.path(), render(rng, page, base))
        d = str(page.depth)
        expected["pages"].setdefault(d, []).append(page.address(base))
        expected["mail"].setdefault(d, []).extend(page.mails)
        expected["files"].setdefault(d, []).extend(page.files)
        for url in page.files:
            write_file(args.out, url[len(base):], b"%PDF-1.4 placeholder\n")
        for image in page.images:
            write_file(args.out, image, b"\xff\xd8\xff\xe0 placeholder")
    with open(os.path.join(args.out, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1, sort_keys=True)
    counts = {d: len(v) for d, v in sorted(expected["pages"].items())}
    print("pages by depth:", counts)


if __name__ == "__main__":
    main()
