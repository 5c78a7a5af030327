"""What the lab's drawing tools (plot-lab, lab-page) know of its entries: the method each one
follows and that method's colour, so that the picture and the page draw an entry alike."""

OURS = {"incremental": "monotone chain", "gift_wrapping": "gift wrapping", "qhull": "quickhull"}
METHODS = ["monotone chain", "gift wrapping", "quickhull", "Chan", "fastest", "floor", "other"]
COLOURS = {"monotone chain": "#1b9e77", "gift wrapping": "#d95f02", "quickhull": "#7570b3", "Chan": "#000000",
           "fastest": "#e6ab02", "floor": "#777777", "other": "#e7298a"}
FASTEST = ("filter-radix-chain", "radix-chain")  # the lab's own fastest exact hull, and its sort alone
FLOORS = ("copy", "copy-list")  # no hull: copy, one read, release


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
    for m in ("monotone-chain", "gift-wrapping", "quickhull"):
        if name.endswith(m):
            return m.replace("-", " ")
    if name.endswith("-graham"):  # Graham's scan sorts too: it faces the monotone chain
        return "monotone chain"
    return "other"
