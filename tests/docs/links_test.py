#!/usr/bin/env python3
"""links_test.py SOURCE_DIR: every relative link and picture of README.md and docs/**/*.md resolves
to a file of the source tree, and every #anchor to a heading of its page (GitHub's slugs). The
README stays a front page: 150 lines at most. Prints each broken link as FILE:LINE: LINK; exit
status 1 when there is one."""

import os
import re
import sys


def slug(heading):
    """GitHub's anchor for a heading: lower case, punctuation dropped, spaces as hyphens."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        return {slug(m.group(1)) for m in re.finditer(r"^#+\s+(.*)$", f.read(), re.M)}


def main():
    source = sys.argv[1]
    pages = [os.path.join(source, "README.md")]
    for folder, _, names in os.walk(os.path.join(source, "docs")):
        pages += [os.path.join(folder, n) for n in names if n.endswith(".md")]
    broken, checked = [], 0
    for page in sorted(pages):
        with open(page, encoding="utf-8") as f:
            text = f.read()
        in_code = False
        for number, line in enumerate(text.split("\n"), start=1):
            if line.startswith("```"):
                in_code = not in_code
            if in_code:
                continue
            for link in re.findall(r"\]\(([^)\s]+)\)", line):
                if re.match(r"[a-z]+:", link):
                    continue  # a web address: not checked here
                checked += 1
                target, _, anchor = link.partition("#")
                path = os.path.normpath(os.path.join(os.path.dirname(page), target)) if target else page
                where = f"{os.path.relpath(page, source)}:{number}: {link}"
                if not os.path.exists(path):
                    broken.append(where + " (no such file)")
                elif anchor and path.endswith(".md") and anchor not in anchors(path):
                    broken.append(where + " (no such heading)")
    readme = sum(1 for _ in open(os.path.join(source, "README.md"), encoding="utf-8"))
    if readme > 150:
        broken.append(f"README.md: {readme} lines, more than a front page's 150")
    for b in broken:
        print(b)
    print(f"{checked} links in {len(pages)} pages: {len(broken)} broken")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
