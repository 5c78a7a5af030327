// The user's plugins: a shared library's hull_lab_hull (int64) or hull_lab_hull_f64 (double),
// loaded with dlopen and called through a pointer. Each call gets a fresh copy of the points, as
// every array entry of the lab does, followed by a few values the plugin must leave alone, and
// writes its hull into a buffer that ends at a guard page: a write past either is named.

#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>

#include "hull_lab_plugin.h"
#include "lab.h"
#include "user/user.h"

namespace lab {

namespace {

// ---- Guard pages --------------------------------------------------------------------------------

// The guard pages of this process and what each guards: a fixed table, read by the signal handler.
struct Guard {
    const char* start;
    const char* end;
    const char* what;  // "out"
};
constexpr int kGuards = 64;
Guard guards[kGuards];
volatile int guardCount = 0;

void writeText(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t wrote = write(STDOUT_FILENO, text, left);
        if (wrote <= 0) return;
        text += wrote;
        left -= std::size_t(wrote);
    }
}

// A fault on a guard page: the plugin ran past a buffer. Reported on standard output (the parent's
// pipe) before the process ends with kOverran; any other fault takes its default course.
extern "C" void onFault(int signal, siginfo_t* info, void* context) {
    const char* address = static_cast<const char*>(info->si_addr);
    for (int i = 0; i < guardCount; ++i) {
        if (address < guards[i].start || address >= guards[i].end) continue;
        bool wrote = true;
#if defined(__x86_64__)
        wrote = (static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#else
        (void)context;
#endif
        writeText("overran ");
        writeText(wrote ? "wrote past the " : "read past the ");
        writeText(guards[i].what);
        writeText(" room of 2 * n values it was given (a guard page caught it)\n");
        writeText(wrote ? "failure overrun=wrote\n" : "failure overrun=read\n");  // as failureWords writes it
        _exit(kOverran);
    }
    ::signal(signal, SIG_DFL);  // the fault happens again, and ends the process as it would have
}

// 2 * n values of T whose last one ends where a page that cannot be read or written begins. Made
// once per runner and reused by every call: the copy is written into it, not allocated.
template <class T>
class GuardedBuffer {
  public:
    GuardedBuffer(std::size_t values, const char* what) {
        const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
        const std::size_t bytes = values * sizeof(T);
        room_ = (bytes + page - 1) / page * page;
        mapped_ = static_cast<char*>(mmap(nullptr, room_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (mapped_ == MAP_FAILED) throw std::bad_alloc();
        mprotect(mapped_ + room_, page, PROT_NONE);
        data_ = reinterpret_cast<T*>(mapped_ + room_ - bytes);
        static bool handled = false;
        if (!handled) {
            struct sigaction action {};
            action.sa_sigaction = onFault;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            sigaction(SIGSEGV, &action, nullptr);
            handled = true;
        }
        if (guardCount < kGuards) {
            guards[guardCount] = {mapped_ + room_, mapped_ + room_ + page, what};
            guardCount = guardCount + 1;
        }
        page_ = page;
    }
    ~GuardedBuffer() { munmap(mapped_, room_ + page_); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    T* data() { return data_; }

  private:
    char* mapped_ = nullptr;
    std::size_t room_ = 0, page_ = 0;
    T* data_ = nullptr;
};

// ---- Loading ------------------------------------------------------------------------------------

// The library at `path`, loaded once per process. Throws BadEntry with dlerror's words.
void* library(const std::string& path) {
    static std::map<std::string, void*> loaded;
    auto it = loaded.find(path);
    if (it != loaded.end()) return it->second;
    // A name without a '/' would be looked for on the library path, not where the user points.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        throw BadEntry("cannot load the plugin " + path + ": " + (why != nullptr ? why : "dlopen failed"));
    }
    return loaded[path] = handle;
}

void* symbolOf(void* handle, const std::string& symbol) {
    dlerror();
    return dlsym(handle, symbol.c_str());
}

// "libgraham.so" -> "graham": the file name without its folder, "lib" and what follows the first '.'.
std::string stem(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (name.rfind("lib", 0) == 0 && name.size() > 3) name.erase(0, 3);
    return name.substr(0, name.find('.'));
}

// ---- The runner ---------------------------------------------------------------------------------

// One plugin function on one point set: the points kept as the plugin takes them, copied into the
// guarded xy buffer at every call.
template <class T>
class PluginRunner : public Runner {
  public:
    using Function = std::int64_t (*)(T*, std::size_t, T*);

    template <class P>
    PluginRunner(Function function, hull_lab_message_fn message, const std::vector<P>& points)
        : function_(function), message_(message), n_(points.size()), out_(2 * n_, "out") {
        values_.reserve(2 * n_ + kCanaries);
        for (const P& p : points) {
            values_.push_back(T(p.x));
            values_.push_back(T(p.y));
        }
        for (std::size_t i = 0; i < kCanaries; ++i) values_.push_back(canary(i));
    }

    // Copy, call, release, as the lab's array entries: the copy is the plugin's to reorder or
    // overwrite. (A copy into a buffer kept from call to call and ending at a guard page was
    // measured 0 to 6% slower than the same code built in, on the same instructions; a heap copy
    // like theirs was not.)
    void call() override { callOnCopy(); }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const RealPoint& p : answer(true)) result.push_back({std::int64_t(p.x), std::int64_t(p.y)});
        return result;
    }

    // On a real cell the answer is taken as the plugin wrote it: the check finds any value that is
    // not one of the input's.
    std::vector<RealPoint> realHull() override { return answer(false); }

  private:
    // One call's answer, widened to doubles (exact for the plugin's doubles; its int64 values are
    // whole numbers below 2^30 or not points of the input at all). `whole`: doubles that are not
    // whole numbers in range are not points of a whole-number input.
    std::vector<RealPoint> answer(bool whole) {
        callOnCopy();
        const std::int64_t count = count_;
        if (count < 0) {
            const char* why = message_ != nullptr ? message_() : nullptr;
            std::string line = why != nullptr && *why != '\0' ? why : "returned " + std::to_string(count) + " (no message)";
            for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
            throw Refused(line);
        }
        if (std::uint64_t(count) > n_) {
            throw WrongResult("returned a count of " + std::to_string(count) + " corners for " + std::to_string(n_) +
                              " points (out has room for n)");
        }
        std::vector<RealPoint> result;
        const T* out = out_.data();
        for (std::int64_t i = 0; i < count; ++i) {
            const T x = out[2 * i], y = out[2 * i + 1];
            if constexpr (std::is_floating_point_v<T>) {
                // Only whole numbers of the exact range can be points of a whole-number input.
                auto isWhole = [](T v) { return std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 4.6e18; };
                if (whole && (!isWhole(x) || !isWhole(y))) {
                    char text[160];
                    std::snprintf(text, sizeof text, "result:%lld: (%.17g, %.17g) is not a point of the input",
                                  (long long)i + 1, double(x), double(y));
                    throw WrongResult(text);
                }
            }
            if constexpr (std::is_floating_point_v<T>) {
                result.push_back({double(x), double(y)});
            } else {
                // An int64 answer beyond 2^53 would round as a double: keep it out of the input.
                if (x >= (std::int64_t(1) << 53) || x <= -(std::int64_t(1) << 53) || y >= (std::int64_t(1) << 53) ||
                    y <= -(std::int64_t(1) << 53)) {
                    throw WrongResult("result:" + std::to_string(i + 1) + ": (" + std::to_string(x) + ", " +
                                      std::to_string(y) + ") is not a point of the input");
                }
                result.push_back({double(x), double(y)});
            }
        }
        return result;
    }

    static constexpr std::size_t kCanaries = 8;  // values after the copy that the plugin must not change
    static T canary(std::size_t i) { return T(0x5A17 + 977 * std::int64_t(i)); }

    void callOnCopy() {
        std::vector<T> copy(values_);
        count_ = function_(copy.data(), n_, out_.data());
        for (std::size_t i = 0; i < kCanaries; ++i) {
            if (copy[2 * n_ + i] != canary(i)) {
                throw EntryCrashed("wrote past the xy copy of 2 * n values it was given (value " + std::to_string(2 * n_ + i) +
                                       " changed)",
                                   Failure{reference::Fault::None, 0, 0, Overrun::Wrote, ""});
            }
        }
    }

    Function function_;
    hull_lab_message_fn message_;
    std::size_t n_;
    std::vector<T> values_;  // the points, then the canaries
    GuardedBuffer<T> out_;
    volatile std::int64_t count_ = 0;
};

}  // namespace

std::vector<UserEntry> pluginEntries(const std::string& item, const std::vector<std::string>& taken) {
    // PATH or PATH:SYMBOL; a symbol is a C name, so the last ':' splits them when a C name follows.
    std::string path = item, symbol;
    const std::size_t colon = item.rfind(':');
    if (colon != std::string::npos && colon + 1 < item.size() &&
        item.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", colon + 1) ==
            std::string::npos) {
        path = item.substr(0, colon);
        symbol = item.substr(colon + 1);
    }
    void* handle = library(path);
    std::vector<UserEntry> entries;
    auto add = [&](const std::string& name, const std::string& function, bool f64) {
        for (const std::string& other : taken) {
            if (other == name) throw BadEntry("the plugin " + item + " gives an entry named " + name + ", a name already taken");
        }
        for (const UserEntry& other : entries) {
            if (other.name == name) throw BadEntry("the plugin " + item + " gives two entries named " + name);
        }
        entries.push_back({UserEntry::Plugin, name, path, function, f64, ""});
    };
    if (!symbol.empty()) {
        if (symbolOf(handle, symbol) == nullptr) throw BadEntry("the plugin " + path + " exports no function " + symbol);
        const bool f64 = symbol.size() > 4 && symbol.compare(symbol.size() - 4, 4, "_f64") == 0;
        const bool plain = symbol == "hull_lab_hull" || symbol == "hull_lab_hull_f64";
        add(plain ? stem(path) + (f64 ? "-f64" : "") : symbol, symbol, f64);
        return entries;
    }
    if (symbolOf(handle, "hull_lab_hull") != nullptr) add(stem(path), "hull_lab_hull", false);
    if (symbolOf(handle, "hull_lab_hull_f64") != nullptr) add(stem(path) + "-f64", "hull_lab_hull_f64", true);
    if (entries.empty()) {
        throw BadEntry("the plugin " + path + " exports neither hull_lab_hull nor hull_lab_hull_f64 " +
                       "(see include/hull_lab_plugin.h; PATH:SYMBOL names a function of another name)");
    }
    return entries;
}

// The runner of a plugin's entry, in the process that calls it, on whole-number points or (a
// function on doubles) real ones.
template <class P>
std::unique_ptr<Runner> preparePlugin(const UserEntry& entry, const std::vector<P>& points) {
    void* handle = library(entry.path);
    void* function = symbolOf(handle, entry.symbol);
    if (function == nullptr) throw BadEntry("the plugin " + entry.path + " exports no function " + entry.symbol);
    auto message = reinterpret_cast<hull_lab_message_fn>(symbolOf(handle, "hull_lab_message"));
    if (entry.f64) {
        return std::make_unique<PluginRunner<double>>(reinterpret_cast<hull_lab_hull_f64_fn>(function), message, points);
    }
    if constexpr (std::is_same_v<P, Point>) {
        return std::make_unique<PluginRunner<std::int64_t>>(reinterpret_cast<hull_lab_hull_fn>(function), message, points);
    } else {
        throw BadEntry("the plugin function " + entry.symbol + " takes whole numbers only");
    }
}

template std::unique_ptr<Runner> preparePlugin(const UserEntry&, const std::vector<Point>&);
template std::unique_ptr<Runner> preparePlugin(const UserEntry&, const std::vector<RealPoint>&);

}  // namespace lab
