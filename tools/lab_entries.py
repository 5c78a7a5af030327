"""What the lab's tools (plot-lab, lab-page, lab-compare) know of its entries: the catalogue a TSV
carries in its "# catalogue:" lines (hull-lab --list --tsv prints the same), each entry's method,
origin, library, threads, former name and whether it is a control; and each method's colour, so
that the picture and the page draw an entry alike. A TSV written before the catalogue is read by
the rules its names followed then (guess below)."""

METHODS = ["monotone chain", "gift wrapping", "quickhull", "Chan", "fastest", "floor", "other"]
COLOURS = {"monotone chain": "#1b9e77", "gift wrapping": "#d95f02", "quickhull": "#7570b3", "Chan": "#000000",
           "fastest": "#e6ab02", "floor": "#777777", "other": "#e7298a"}
CATALOGUE_KEY = "catalogue"  # the key of the catalogue's "#" lines: "# catalogue: FIELDS"


class Catalogue:
    """The entries of one run, by name: each a dict of the catalogue's columns (entry, method,
    library, version, origin, threads, formerly, by_default, control, calls)."""

    def __init__(self, lines=()):
        """`lines`: the values of the TSV's catalogue lines, header first; none for an older TSV."""
        self.entries = {}
        lines = list(lines)
        if lines:
            header = lines[0].split("\t")
            for line in lines[1:]:
                entry = dict(zip(header, line.split("\t")))
                self.entries[entry["entry"]] = entry
        # An older run's name of an entry renamed since, as its catalogue says.
        self.renamed = {e["formerly"]: name for name, e in self.entries.items() if e.get("formerly", "-") != "-"}

    def entry(self, name):
        return self.entries.get(name) or guess(name)

    def method(self, name):
        """The method an entry follows, one of METHODS (its colour's)."""
        m = self.entry(name)["method"]
        return m if m in METHODS else "other"

    def origin(self, name):
        """program, array form, lab's own, floor, library or yours."""
        return self.entry(name)["origin"]

    def fastest(self, name):
        return self.entry(name)["method"] == "fastest"

    def floor(self, name):
        return self.origin(name) == "floor"

    def control(self, name):
        """A floor that only copies: no change to a hull moves it."""
        return self.entry(name)["control"] == "yes"


def catalogue_of(context):
    """The catalogue of a TSV from its context's (key, value) pairs."""
    return Catalogue(value for key, value in context if key == CATALOGUE_KEY)


# ---- A TSV written before the catalogue: its names, as the lab gave them then -------------------

_OURS = {"incremental": "monotone chain", "gift_wrapping": "gift wrapping", "qhull": "quickhull"}
_FASTEST = ("filter-vqsort-chain", "filter-radix-chain", "radix-chain", "vqsort-chain", "filter-vqsort-chain-2t",
            "filter-vqsort-chain-plain")
_FLOORS = ("copy", "copy-list", "copy-2t", "sort-keys")
_OLD_NAMES = {"filter-radix-chain": "filter-vqsort-chain"}
_LIBRARY_PREFIXES = {"cgal-": "CGAL", "boost-": "Boost", "geos-": "GEOS", "opencv-": "OpenCV", "libqhull-": "Qhull"}


def guess(name):
    """An entry of a TSV without a catalogue, as its name told before there was one."""
    base = name.removesuffix("-plain").removesuffix("-array")  # an array form, exact or on plain doubles
    library = next((lib for prefix, lib in _LIBRARY_PREFIXES.items() if name.startswith(prefix)), "-")
    if base in _OURS:
        method, origin = _OURS[base], "program" if base == name else "array form"
    elif name == "chan":
        method, origin = "Chan", "lab's own"
    elif name in _FASTEST:
        method, origin = "fastest", "lab's own"
    elif name in _FLOORS:
        method, origin = "floor", "floor"
    elif name in ("par-sort-chain-2t", "chain-builtin"):
        method, origin = "monotone chain", "lab's own"
    else:
        method = next((m.replace("-", " ") for m in ("monotone-chain", "gift-wrapping", "quickhull") if base.endswith(m)),
                      "monotone chain" if base.endswith("-graham") else "other")  # Graham's scan sorts too
        origin = "library" if library != "-" else "yours"
    return {"entry": name, "method": method, "library": library, "origin": origin,
            "threads": "2" if name.endswith("-2t") else "1", "formerly": "-",
            "control": "yes" if name in _FLOORS[:3] else "no"}


def current_name(name, catalogue):
    """An entry's name now: an older run's former name read as the entry's present one."""
    return catalogue.renamed.get(name) or _OLD_NAMES.get(name, name)
