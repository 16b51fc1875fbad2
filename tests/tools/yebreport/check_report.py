"""Reads a yebreport page back the way a browser's parser would and prints
what the test checks, one "name=value" a line: the title, each figure's key
with the number of fault markers in its SVG, and any parse problem."""

import base64
import sys
from html.parser import HTMLParser
from xml.etree import ElementTree


class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.title = ""
        self.in_title = False
        self.figure = None
        self.plots = []  # (figure id, decoded svg text)
        self.open = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag not in ("meta", "img", "br", "link"):
            self.open.append(tag)
        if tag == "title":
            self.in_title = True
        elif tag == "figure":
            self.figure = attrs.get("id")
        elif tag == "img" and self.figure:
            prefix = "data:image/svg+xml;base64,"
            src = attrs.get("src", "")
            if not src.startswith(prefix):
                print(f"problem=image {self.figure} is not SVG data")
                return
            self.plots.append((self.figure, base64.b64decode(src[len(prefix):]).decode("utf-8")))

    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            print(f"problem=</{tag}> closes {self.open[-1] if self.open else 'nothing'}")
        else:
            self.open.pop()
        if tag == "title":
            self.in_title = False
        elif tag == "figure":
            self.figure = None

    def handle_data(self, data):
        if self.in_title:
            self.title += data


def main(path):
    page = Page()
    with open(path, encoding="utf-8") as handle:
        page.feed(handle.read())
    page.close()
    if page.open:
        print(f"problem=unclosed {page.open}")
    print(f"title={page.title}")
    for key, svg in page.plots:
        root = ElementTree.fromstring(svg)  # an SVG that is not XML fails the test here
        markers = [g for g in root.iter("{http://www.w3.org/2000/svg}g")
                   if (g.get("id") or "").startswith("fault-")]
        print(f"plot={key}:{len(markers)}")


if __name__ == "__main__":
    main(sys.argv[1])
