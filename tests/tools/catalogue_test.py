"""The catalogue of entries against the tools that read it: hull-lab --list --tsv, and plot-lab,
lab-page and lab-compare on TSVs whose entries' names tell nothing, so that only the catalogue can
place them; a TSV written before the catalogue still reads.

Usage: catalogue_test.py HULL_LAB TOOLS_DIR"""

import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

HULL_LAB, TOOLS = sys.argv[1], sys.argv[2]
sys.path.insert(0, TOOLS)
import lab_entries  # noqa: E402

HEADER = "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s"
CATALOGUE = ["entry\tmethod\tlibrary\tversion\torigin\tthreads\tformerly\tby_default\tcontrol\tcalls",
             "zz-hull\tquickhull\tFoo\t1.0\tlibrary\t1\tzz-old\tyes\tno\tFoo's hull",
             "zz-floor\tfloor\t-\t-\tfloor\t1\t-\tyes\tyes\tno hull",
             "zz-mine\tfastest\t-\t-\tlab's own\t2\t-\tyes\tno\tthe lab's"]


def tsv(cells, catalogue=True):
    """A hull-lab TSV of `cells` (entry, seconds per call), each on disc at 1000 and 10000 points."""
    lines = ["# date: 2026-12-09", "# version: test"]
    if catalogue:
        lines += ["# catalogue: " + line for line in CATALOGUE]
    lines.append(HEADER)
    for n in (1000, 10000):
        for name, seconds in cells:
            s = seconds * n / 1000
            runs = ",".join(f"{s * f:.6e}" for f in (0.99, 1.0, 1.01))
            lines.append(f"disc\t{n}\t20\t{name}\t{s:.6e}\t{s * 0.99:.6e}\t{s * 1.01:.6e}\tok\t\t{runs}\t"
                         f"{s * 0.97:.6e}\t{s * 1.03:.6e}")
    return "\n".join(lines) + "\n"


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


class Catalogue(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def test_list_tsv_has_every_column_for_every_entry_and_no_group_word_is_an_entry(self):
        status, out = run(HULL_LAB, "--list", "--tsv")
        self.assertEqual(status, 0, out)
        lines = out.splitlines()
        self.assertEqual(lines[0], CATALOGUE[0])
        names = set()
        for line in lines[1:]:
            fields = line.split("\t")
            self.assertEqual(len(fields), 10, line)
            self.assertIn(fields[4], ("program", "array form", "lab's own", "floor", "library", "yours"), line)
            self.assertIn(fields[7], ("yes", "no"), line)
            names.add(fields[0])
        self.assertIn("filter-vqsort-chain", names)
        status, listing = run(HULL_LAB, "--list")
        groups = re.findall(r"^  (\S+) ", listing.split("Groups")[1], re.M)
        self.assertTrue(groups, listing)
        self.assertEqual(sorted(set(groups) & names), [], "a group word that is also an entry's name")

    def test_the_old_rules_agree_with_the_catalogue_for_this_builds_entries(self):
        # A TSV written before the catalogue is read by its names: they must place every entry of
        # this build as its catalogue does.
        _, out = run(HULL_LAB, "--list", "--tsv")
        catalogue = lab_entries.Catalogue(out.splitlines())
        for name in catalogue.entries:
            guessed = lab_entries.guess(name)
            with self.subTest(entry=name):
                self.assertEqual(lab_entries.Catalogue().method(name), catalogue.method(name))
                self.assertEqual(guessed["origin"], catalogue.origin(name))
                self.assertEqual(guessed["control"], catalogue.entries[name]["control"])

    def test_the_page_places_entries_by_their_catalogue(self):
        path = self.write("run.tsv", tsv([("zz-hull", 1e-3), ("zz-floor", 1e-5), ("zz-mine", 5e-4)]))
        status, out = run(os.path.join(TOOLS, "lab-page"), path, "-o", path + ".html")
        if "make page-libraries" in out:
            self.skipTest("the page's plotting library is not installed (make page-libraries)")
        self.assertEqual(status, 0, out)
        with open(path + ".html", encoding="utf-8") as f:
            data = json.loads(re.search(r'id="lab-data">(.*?)</script>', f.read()).group(1))
        entries = {e["name"]: e for e in data["entries"]}
        self.assertEqual(entries["zz-hull"]["group"], "the libraries")
        self.assertEqual(entries["zz-hull"]["colour"], lab_entries.COLOURS["quickhull"])
        self.assertEqual(entries["zz-floor"]["group"], "the floors")
        self.assertTrue(entries["zz-floor"]["control"])
        self.assertTrue(entries["zz-mine"]["fastest"])
        self.assertNotIn("catalogue", [key for key, _ in data["context"]])

    def test_compare_takes_its_control_and_former_names_from_the_catalogue(self):
        # The older run has no catalogue and the former name; the control moved by 2x.
        old = self.write("old.tsv", tsv([("zz-old", 1e-3), ("zz-floor", 1e-5)], catalogue=False))
        new = self.write("new.tsv", tsv([("zz-hull", 1e-3), ("zz-floor", 2e-5)]))
        status, out = run(os.path.join(TOOLS, "lab-compare"), old, new)
        self.assertEqual(status, 0, out)
        self.assertIn("zz-hull", out)
        self.assertNotIn("zz-old", out)
        self.assertIn("warning: the floors (zz-floor)", out)

    def test_plot_lab_draws_a_run_whose_names_tell_nothing(self):
        path = self.write("run.tsv", tsv([("zz-hull", 1e-3), ("zz-floor", 1e-5), ("zz-mine", 5e-4)]))
        status, out = run(os.path.join(TOOLS, "plot-lab"), path, "-o", path + ".png")
        if status != 0 and "gnuplot" in out:
            self.skipTest("gnuplot is not installed")
        self.assertEqual(status, 0, out)
        self.assertGreater(os.path.getsize(path + ".png"), 1000)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
