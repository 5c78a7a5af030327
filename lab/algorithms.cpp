// The algorithms the lab can run: the program's own three, called exactly as the benchmark calls
// them (on a fresh PointList copy each time), their array forms, Chan's algorithm, and the peers
// this build has.

#include <algorithm>
#include <cstring>
#include <cctype>
#include <map>

#include "lab.h"
#include "own/own.h"
#include "peers/peers.h"

namespace lab {

namespace {

// One of the program's hull functions on a PointList made once from the points.
class OursRunner : public Runner {
  public:
    OursRunner(PointList (*algorithm)(PointList), const std::vector<Point>& points)
        : algorithm_(algorithm), points_(points.begin(), points.end()) {}

    // As the benchmark's timed loop: copy, call, assignment, release.
    void call() override {
        hull_ = algorithm_(points_);
        hull_.clear();
    }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : algorithm_(points_)) result.push_back({p.x, p.y});
        return result;
    }

    // The call's copy made and released: the nodes the next call's copy will take, at a fraction
    // of a call (on 10,000,000 points 0.4 s, where gift wrapping's call takes 0.5 to 3 s).
    void warm() override {
        PointList copy(points_);
        sink_ = copy.size();
    }

  private:
    PointList (*algorithm_)(PointList);
    volatile std::size_t sink_ = 0;
    PointList points_;
    PointList hull_;
};

template <PointList (*F)(PointList)>
std::unique_ptr<Runner> prepareOurs(const std::vector<Point>& points) {
    return std::make_unique<OursRunner>(F, points);
}

// One of the lab's own functions on a std::vector: a fresh copy per call, as the peers get.
class ArrayRunner : public Runner {
  public:
    ArrayRunner(std::vector<Point> (*algorithm)(std::vector<Point>), const std::vector<Point>& points)
        : algorithm_(algorithm), points_(points) {}

    void call() override { algorithm_(points_); }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : algorithm_(points_)) result.push_back({p.x, p.y});
        return result;
    }

  private:
    std::vector<Point> (*algorithm_)(std::vector<Point>);
    std::vector<Point> points_;
};

// One of the array forms on doubles, exact or plain (RealTurns): a fresh copy per call. On a
// whole-number cell the points are handed over as doubles, as a user on doubles would.
class RealArrayRunner : public Runner {
  public:
    using Function = std::vector<RealPoint> (*)(std::vector<RealPoint>, RealTurns);
    RealArrayRunner(Function algorithm, RealTurns turns, std::vector<RealPoint> points)
        : algorithm_(algorithm), turns_(turns), points_(std::move(points)) {}

    void call() override { algorithm_(points_, turns_); }
    std::vector<reference::Pt> hull() override { return wholePoints(realHull()); }
    std::vector<RealPoint> realHull() override { return algorithm_(points_, turns_); }

  private:
    Function algorithm_;
    RealTurns turns_;
    std::vector<RealPoint> points_;
};

template <RealArrayRunner::Function F, RealTurns turns>
std::unique_ptr<Runner> prepareRealArray(const std::vector<RealPoint>& points) {
    return std::make_unique<RealArrayRunner>(F, turns, points);
}

template <RealArrayRunner::Function F, RealTurns turns>
std::unique_ptr<Runner> prepareWholeAsReal(const std::vector<Point>& points) {
    std::vector<RealPoint> real;
    real.reserve(points.size());
    for (const Point& p : points) real.push_back({double(p.x), double(p.y)});
    return std::make_unique<RealArrayRunner>(F, turns, std::move(real));
}

std::vector<Point> chanFromGroupsOf256(std::vector<Point> points) { return chan(std::move(points)); }
std::vector<RealPoint> chanOnDoubles(std::vector<RealPoint> points, RealTurns) { return chan(std::move(points)); }
// The fastest hull on the caller's points in place: its pass writes only the points it keeps.
std::unique_ptr<Runner> prepareFastest(const std::vector<Point>& points) {
    return cornersRunner([](const Point* p, std::size_t n) { return fastHull(p, n); }, points);
}
// The fastest hull's sort and chain alone, no sample and no pass: by the radix sort, or by vqsort.
template <FastHullPaths::Choice vector>
std::vector<Point> sortChain(std::vector<Point> points) {
    FastHullPaths sortOnly;
    sortOnly.filter = FastHullPaths::Off, sortOnly.radix = FastHullPaths::On, sortOnly.quickhull = FastHullPaths::Off;
    sortOnly.vector = vector;
    return fastHull(std::move(points), sortOnly);
}

// The floors: what a call on a fresh copy costs before any hull is computed. The copy is made
// (as the array entries' by-value argument, or the program's PointList copy), every point is read
// once, and the copy is released; the sum keeps the read from being dropped.
class CopyRunner : public Runner {
  public:
    explicit CopyRunner(const std::vector<Point>& points) : points_(points) {}
    void call() override { sink_ = readOnce(points_); }
    std::vector<reference::Pt> hull() override { return {}; }

    template <class Points>
    static std::int64_t readOnce(Points copy) {
        std::int64_t sum = 0;
        for (const Point& p : copy) sum += p.x ^ p.y;
        return sum;
    }

  private:
    std::vector<Point> points_;
    volatile std::int64_t sink_ = 0;
};

// The floor where every point is a corner: the copy, its points made keys and sorted by the
// fastest hull's sort, no hull.
class SortKeysRunner : public Runner {
  public:
    explicit SortKeysRunner(const std::vector<Point>& points) : points_(points) {}
    void call() override { sink_ = sortKeys(points_); }
    std::vector<reference::Pt> hull() override { return {}; }

  private:
    static std::uint64_t sortKeys(std::vector<Point> copy) {
        if (copy.empty()) return 0;
        const std::uint64_t* keys = sortedKeys(copy.data(), copy.size());
        return keys[0] ^ keys[copy.size() - 1];
    }
    std::vector<Point> points_;
    volatile std::uint64_t sink_ = 0;
};

// The copy floor on doubles: the same bytes a point (two 8-byte coordinates), read once as bits so
// that the read costs what the whole numbers' does.
class RealCopyRunner : public Runner {
  public:
    explicit RealCopyRunner(const std::vector<RealPoint>& points) : points_(points) {}
    void call() override { sink_ = readOnce(points_); }
    std::vector<reference::Pt> hull() override { return {}; }

  private:
    static std::uint64_t readOnce(std::vector<RealPoint> copy) {
        std::uint64_t sum = 0;
        for (const RealPoint& p : copy) {
            std::uint64_t x = 0, y = 0;
            std::memcpy(&x, &p.x, sizeof x);
            std::memcpy(&y, &p.y, sizeof y);
            sum += x ^ y;
        }
        return sum;
    }
    std::vector<RealPoint> points_;
    volatile std::uint64_t sink_ = 0;
};

// The fastest hull on doubles, exact or plain: handed the points in place each call (it copies only
// what it keeps, as the fastest hull on whole numbers does).
class RealFastestRunner : public Runner {
  public:
    RealFastestRunner(RealTurns turns, std::vector<RealPoint> points) : turns_(turns), points_(std::move(points)) {}
    void call() override { sink_ = fastHullCorners(points_.data(), points_.size(), turns_).size; }
    std::vector<reference::Pt> hull() override { return wholePoints(realHull()); }
    std::vector<RealPoint> realHull() override { return fastHullOnDoubles(points_.data(), points_.size(), turns_); }

  private:
    RealTurns turns_;
    std::vector<RealPoint> points_;
    volatile std::size_t sink_ = 0;
};

template <RealTurns turns>
std::unique_ptr<Runner> prepareRealFastest(const std::vector<RealPoint>& points) {
    return std::make_unique<RealFastestRunner>(turns, points);
}

// The sort floor on doubles: the copy, sorted into the point order as the fastest hull on doubles
// sorts its survivors (128-bit keys by vqsort), no hull.
class RealSortKeysRunner : public Runner {
  public:
    explicit RealSortKeysRunner(const std::vector<RealPoint>& points) : points_(points) {}
    void call() override { sink_ = sorted(points_); }
    std::vector<reference::Pt> hull() override { return {}; }

  private:
    static double sorted(std::vector<RealPoint> copy) {
        sortRealPoints(copy.data(), copy.size());
        return copy.empty() ? 0 : copy.front().x + copy.back().y;
    }
    std::vector<RealPoint> points_;
    volatile double sink_ = 0;
};

class CopyListRunner : public Runner {
  public:
    explicit CopyListRunner(const std::vector<Point>& points) : points_(points.begin(), points.end()) {}
    void call() override { sink_ = CopyRunner::readOnce(points_); }
    std::vector<reference::Pt> hull() override { return {}; }

  private:
    PointList points_;
    volatile std::int64_t sink_ = 0;
};

template <class R>
std::unique_ptr<Runner> prepareFloor(const std::vector<Point>& points) {
    return std::make_unique<R>(points);
}

template <std::vector<Point> (*F)(std::vector<Point>)>
std::unique_ptr<Runner> prepareArray(const std::vector<Point>& points) {
    return std::make_unique<ArrayRunner>(F, points);
}

// The peer libraries of this build, in the order of their peers: name, version, and what adds
// their peers to the list.
struct PeerLibrary {
    const char* name;
    std::string (*version)();
    void (*add)(std::vector<Algorithm>& list);
};

const std::vector<PeerLibrary>& peerLibraries() {
    static const std::vector<PeerLibrary> list = {
#ifdef HULL_LAB_CGAL
        {"CGAL", cgalVersion, addCgalPeers},
#endif
#ifdef HULL_LAB_BOOST
        {"Boost", boostVersion, addBoostPeers},
#endif
#ifdef HULL_LAB_GEOS
        {"GEOS", geosVersion, addGeosPeers},
#endif
#ifdef HULL_LAB_OPENCV
        {"OpenCV", opencvVersion, addOpencvPeers},
#endif
#ifdef HULL_LAB_QHULL
        {"Qhull", qhullVersion, addQhullPeers},
#endif
    };
    return list;
}

// On doubles the array forms decide every turn exactly; beside each, its plain form (named only):
// the same code with plain rounded products, as textbooks write it, which takes whole numbers as
// doubles too.
template <RealArrayRunner::Function F>
void addRealForm(std::vector<Algorithm>& list, const std::string& arrayForm, const char* calls) {
    const auto at = std::find_if(list.begin(), list.end(), [&](const Algorithm& a) { return a.name == arrayForm; });
    at->prepareReal = prepareRealArray<F, RealTurns::Exact>;
    Algorithm plain{arrayForm + "-plain", at->method, Origin::ArrayForm, at->promise, false,
                    prepareWholeAsReal<F, RealTurns::Plain>, calls};
    plain.exact = false;
    plain.prepareReal = prepareRealArray<F, RealTurns::Plain>;
    list.insert(std::next(at), plain);
}

void addRealForms(std::vector<Algorithm>& list) {
    addRealForm<incrementalArray>(list, "incremental-array", "the incremental array form on doubles with plain products, not exact");
    addRealForm<giftWrappingArray>(list, "gift_wrapping-array", "the gift-wrapping array form on doubles with plain products, not exact");
    addRealForm<qhullArray>(list, "qhull-array", "the quickhull array form on doubles with plain products, not exact");
}

// On doubles, the fastest hull's own form for them, beside it (named only) the same steps in plain
// doubles, which tells what exactness costs, and the sort floor on doubles.
void addRealFastest(std::vector<Algorithm>& list) {
    auto named = [&](const std::string& name) {
        return std::find_if(list.begin(), list.end(), [&](const Algorithm& a) { return a.name == name; });
    };
    named("sort-keys")->prepareReal = [](const std::vector<RealPoint>& points) { return std::make_unique<RealSortKeysRunner>(points); };
    named(kFastestName)->prepareReal = prepareRealFastest<RealTurns::Exact>;
    Algorithm plain{std::string(kFastestName) + "-plain", "fastest", Origin::Lab, {false, true, false}, false,
                    prepareWholeAsReal<fastHullOnDoubles, RealTurns::Plain>,
                    "the lab's own on doubles with plain turn tests, not exact: what exactness costs"};
    plain.exact = false;
    plain.prepareReal = prepareRealFastest<RealTurns::Plain>;
    list.insert(std::next(named(kFastestName)), plain);
}

std::vector<Algorithm> buildList() {
    // What each of ours promises: its direction, whether it may list points on hull edges, and
    // whether a one-point set comes back as that point twice. An array form promises what its
    // list form does.
    const reference::Promise incrementalPromise{true, true, true}, giftPromise{true, false, false},
        qhullPromise{false, false, true};
    std::vector<Algorithm> list = {
        {"incremental", "monotone chain", Origin::Program, incrementalPromise, false, prepareOurs<incremental>},
        {"incremental-array", "monotone chain", Origin::ArrayForm, incrementalPromise, false,
         prepareArray<incrementalArray>},
        {"gift_wrapping", "gift wrapping", Origin::Program, giftPromise, false, prepareOurs<gift_wrapping>},
        {"gift_wrapping-array", "gift wrapping", Origin::ArrayForm, giftPromise, false, prepareArray<giftWrappingArray>},
        {"qhull", "quickhull", Origin::Program, qhullPromise, false, prepareOurs<qhull>},
        {"qhull-array", "quickhull", Origin::ArrayForm, qhullPromise, false, prepareArray<qhullArray>},
        // Corners only, counter-clockwise from the least point.
        {"chan", "Chan", Origin::Lab, {false, true, false}, false, prepareArray<chanFromGroupsOf256>},
        {kFastestName, "fastest", Origin::Lab, {false, true, false}, false, prepareFastest,
         "the lab's own: throw-away pass, then vqsort, radix or std::sort, monotone chain"},
        {"radix-chain", "fastest", Origin::Lab, {false, true, false}, false, prepareArray<sortChain<FastHullPaths::Off>>,
         "the lab's own: radix sort of every point, monotone chain"},
        {"copy", "floor", Origin::Floor, {}, false, prepareFloor<CopyRunner>,
         "no hull: a std::vector copy, one read of it, its release"},
        {"sort-keys", "floor", Origin::Floor, {}, false, prepareFloor<SortKeysRunner>,
         "no hull: a std::vector copy, its points made keys and sorted by the fastest hull's sort"},
        {"copy-list", "floor", Origin::Floor, {}, false, prepareFloor<CopyListRunner>,
         "no hull: a PointList copy, one read of it, its release"},
    };
    auto named = [&](const std::string& name) {
        return std::find_if(list.begin(), list.end(), [&](const Algorithm& a) { return a.name == name; });
    };
    if (fastHullHasVectorSort()) {
        list.insert(std::next(named("radix-chain")), {"vqsort-chain", "fastest", Origin::Lab, {false, true, false}, false,
                                                      prepareArray<sortChain<FastHullPaths::On>>,
                                                      "the lab's own: Highway's vqsort of every point, monotone chain"});
    }
    named("chan")->prepareReal = prepareRealArray<chanOnDoubles, RealTurns::Exact>;  // exact on every double
    named("copy")->prepareReal = [](const std::vector<RealPoint>& points) { return std::make_unique<RealCopyRunner>(points); };
    named(kFastestName)->formerly = "filter-radix-chain";  // its name until its keys were sorted by vqsort
    addRealFastest(list);
    addRealForms(list);
    addThreadedEntries(list);
    // The floors that only copy: whatever a change does to a hull, they stay, so a comparison
    // of two builds takes them as its control (sort-keys runs the fastest hull's sort).
    for (Algorithm& a : list) a.control = a.origin == Origin::Floor && a.name != "sort-keys";
    for (Algorithm& a : list) a.onList = a.origin == Origin::Program || a.name == "copy-list";
    for (const PeerLibrary& library : peerLibraries()) {
        const std::size_t before = list.size();
        library.add(list);
        for (std::size_t i = before; i < list.size(); ++i) list[i].library = library.name;
    }
#ifdef HULL_LAB_CHAIN_BUILTIN
    // As the lab's array entries: a copy of the points per call, sorted in place.
    list.push_back({"chain-builtin", "monotone chain", Origin::Lab, {false, true, false}, false, prepareArray<chainBuiltin>,
                    "examples/chain.cpp's monotone chain built in: beside --plugin libchain.so, the cost of a plugin"});
#endif
    // Run when named (make lab-exactness runs them): the sorts of the fastest hull alone, CGAL's
    // second quickhull, Boost's exact remedy, and the entries on plain doubles (the array forms'
    // and CGAL's "-plain", Boost on double), which the default run's shapes tell little from their
    // neighbours. They keep the default run within ten minutes.
    for (Algorithm& a : list) {
        a.byDefault = a.name != "radix-chain" && a.name != "vqsort-chain" && a.name != "cgal-eddy-quickhull" &&
                      a.name != "boost-long-double-monotone-chain" && a.name != "boost-double-monotone-chain" &&
                      a.name != "chain-builtin" && a.name.find("-plain") == std::string::npos;
    }
    // Each of ours, then its array form and the peers that run the same method; the others at
    // the end.
    std::vector<Algorithm> ordered;
    for (const Algorithm& ours : list) {
        if (ours.origin != Origin::Program) continue;
        for (const Algorithm& same : list) {
            if (same.method == ours.method) ordered.push_back(same);
        }
    }
    for (const Algorithm& peer : list) {
        bool placed = false;
        for (const Algorithm& o : ordered) placed = placed || o.name == peer.name;
        if (!placed) ordered.push_back(peer);
    }
    return ordered;
}

std::vector<Algorithm>& algorithmList() {
    static std::vector<Algorithm> list = buildList();
    return list;
}

}  // namespace

const std::vector<Algorithm>& algorithms() { return algorithmList(); }

void addAlgorithms(std::vector<Algorithm> entries) {
    for (Algorithm& entry : entries) algorithmList().push_back(std::move(entry));
}

const Algorithm* findAlgorithm(const std::string& name) {
    for (const Algorithm& a : algorithms()) {
        if (a.name == name) return &a;
    }
    for (const Algorithm& a : algorithms()) {  // a former name: older runs' and baselines'
        if (!a.formerly.empty() && a.formerly == name) return &a;
    }
    return nullptr;
}

const std::vector<std::pair<std::string, std::string>>& entryGroups() {
    static const std::vector<std::pair<std::string, std::string>> groups = {
        {"cgal", "CGAL's entries"},
        {"boost", "Boost.Geometry's entries"},
        {"geos", "GEOS's entries"},
        {"opencv", "OpenCV's entries"},
        {"libqhull", "Qhull's entries"},
        {"libraries", "every library's entries"},
        {"lists", "the program's own functions on its PointList"},
        {"arrays", "their array forms: the same decisions on a std::vector"},
        {"ours", "the lab's own hulls"},
        {"floors", "no hull: what a call pays before any hull"},
        {"yours", "your plugins' and programs' entries"},
    };
    return groups;
}

bool groupEntries(const std::string& word, std::vector<std::string>& names) {
    static const std::map<std::string, Origin> origins = {{"libraries", Origin::Peer}, {"lists", Origin::Program},
                                                          {"arrays", Origin::ArrayForm}, {"ours", Origin::Lab},
                                                          {"floors", Origin::Floor}, {"yours", Origin::User}};
    // A library's group word, never an entry's name ("qhull" is the program's quickhull).
    static const std::map<std::string, std::string> libraryOf = {
        {"cgal", "CGAL"}, {"boost", "Boost"}, {"geos", "GEOS"}, {"opencv", "OpenCV"}, {"libqhull", "Qhull"}};
    const auto group = std::find_if(entryGroups().begin(), entryGroups().end(),
                                    [&](const std::pair<std::string, std::string>& g) { return g.first == word; });
    if (group == entryGroups().end()) return false;
    names.clear();
    for (const Algorithm& a : algorithms()) {
        const bool in = origins.count(word) ? a.origin == origins.at(word) : a.library == libraryOf.at(word);
        if (in) names.push_back(a.name);
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> libraries() {
    std::vector<std::pair<std::string, std::string>> list;
    for (const PeerLibrary& library : peerLibraries()) list.emplace_back(library.name, library.version());
    return list;
}

bool takesCoordinates(const Algorithm& entry, Coordinates type, std::string* why) {
    std::string note = type == Coordinates::Int ? "" : !entry.prepareReal ? entry.realNote
                                                  : entry.floatsOnly && type == Coordinates::F64 ? "takes 32-bit floats" : "";
    if (why != nullptr && !note.empty()) *why = note;
    return note.empty();
}

const char* originWord(Origin origin) {
    switch (origin) {
        case Origin::Program: return "program";
        case Origin::ArrayForm: return "array form";
        case Origin::Lab: return "lab's own";
        case Origin::Floor: return "floor";
        case Origin::Peer: return "library";
        case Origin::User: return "yours";
    }
    return "?";
}

std::string catalogueHeader() {
    return "entry\tmethod\tlibrary\tversion\torigin\tthreads\tformerly\tby_default\tcontrol\tcalls";
}

std::string catalogueLine(const Algorithm& entry) {
    std::string version = "-";
    for (const auto& [library, itsVersion] : libraries()) version = library == entry.library ? itsVersion : version;
    std::string calls = entry.calls;
    for (char& c : calls) c = c == '\t' || c == '\n' ? ' ' : c;
    auto field = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    return entry.name + '\t' + entry.method + '\t' + field(entry.library) + '\t' + version + '\t' + originWord(entry.origin) +
           '\t' + std::to_string(entry.threads) + '\t' + field(entry.formerly) + '\t' + (entry.byDefault ? "yes" : "no") +
           '\t' + (entry.control ? "yes" : "no") + '\t' + field(calls);
}

}  // namespace lab
