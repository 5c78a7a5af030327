"""No function in lab/ or tools/ is longer than 80 lines: C, C++ and Python, as Universal Ctags
finds where each begins and ends (its JSON output; a .h file read as C++, a script without a suffix
by its first line). Prints the longest functions, then each one past the limit; exit 1 on any.

Usage: function_length_test.py SOURCE_DIR."""

import json
import os
import shutil
import subprocess
import sys

LIMIT = 80


def main():
    source = sys.argv[1]
    ctags = shutil.which("ctags-universal") or shutil.which("ctags")
    if ctags is None:
        print("no Universal Ctags (Debian: universal-ctags; make test installs it)")
        return 1
    files = subprocess.run(["git", "-C", source, "ls-files", "lab", "tools"], capture_output=True, text=True, check=True).stdout.split()
    files = [f for f in files if os.path.isfile(os.path.join(source, f)) and not f.startswith("tools/page/")]
    out = subprocess.run([ctags, "--languages=C,C++,Python", "--langmap=C++:+.h", "--kinds-C=f", "--kinds-C++=f",
                          "--kinds-Python=fm", "--fields=+ne", "--output-format=json", "-f", "-"] + files,
                         cwd=source, capture_output=True, text=True, check=True).stdout
    functions = []
    for line in out.splitlines():
        tag = json.loads(line)
        if tag.get("_type") == "tag" and "end" in tag:
            functions.append((tag["end"] - tag["line"] + 1, tag["name"], f"{tag['path']}:{tag['line']}"))
    functions.sort(reverse=True)
    if len(functions) < 100:
        print(f"only {len(functions)} functions found: ctags did not read the sources")
        return 1
    print(f"{len(functions)} functions; the longest: " + "; ".join(f"{n} {name} ({where})" for n, name, where in functions[:3]))
    over = [f for f in functions if f[0] > LIMIT]
    for n, name, where in over:
        print(f"{where}: {name} is {n} lines, more than {LIMIT}")
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
