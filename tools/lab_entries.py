"""What the lab's drawing tools (plot-lab, lab-page) know of its entries: the method each one
follows and that method's colour, so that the picture and the page draw an entry alike."""

OURS = {"incremental": "monotone chain", "gift_wrapping": "gift wrapping", "qhull": "quickhull"}
METHODS = ["monotone chain", "gift wrapping", "quickhull", "Chan", "fastest", "floor", "other"]
COLOURS = {"monotone chain": "#1b9e77", "gift wrapping": "#d95f02", "quickhull": "#7570b3", "Chan": "#000000",
           "fastest": "#e6ab02", "floor": "#777777", "other": "#e7298a"}
# The lab's own fastest exact hull (and its name until 2026-12-09), its sorts alone, on two threads.
FASTEST = ("filter-vqsort-chain", "filter-radix-chain", "radix-chain", "vqsort-chain", "filter-vqsort-chain-2t")
# No hull: copy, one read, release (a vector, a list, a vector on two threads); the keys sorted.
FLOORS = ("copy", "copy-list", "copy-2t", "sort-keys")
COPIES = FLOORS[:3]  # the floors that only copy: no change to a hull moves them
PARALLEL = ("par-sort-chain-2t",)
RENAMED = {"filter-radix-chain": "filter-vqsort-chain"}  # older runs' names of entries renamed since  # std::sort with the parallel policy, then the monotone chain


def method(name):
    """The method an entry follows, one of METHODS: the program's and their array forms by name,
    the peers by the method their name ends with."""
    base = name[: -len("-array")] if name.endswith("-array") else name
    if base in OURS:
        return OURS[base]
    if name == "chan":
        return "Chan"
    if name in FASTEST:
        return "fastest"
    if name in FLOORS:
        return "floor"
    if name in PARALLEL:
        return "monotone chain"
    for m in ("monotone-chain", "gift-wrapping", "quickhull"):
        if name.endswith(m):
            return m.replace("-", " ")
    if name.endswith("-graham"):  # Graham's scan sorts too: it faces the monotone chain
        return "monotone chain"
    return "other"
