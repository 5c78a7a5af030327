// The two-thread entries' team: the caller and one helper thread that waits between calls. A
// thread that waits spins a little first, as thread pools' workers do: the other thread is
// usually close behind, and waking from a condition variable took 10 to 50 us on the VMs here.
//
// Counted calls (Callgrind counts each thread only while that thread has switched counting on):
// the helper switches it on around its share of a counted call, and both threads switch it off
// while they hand work over or wait for each other, whose spins, wake-ups and paths through the
// lock the scheduler decides. The threads also take turns then, between meetings the helper's part
// first and the caller's after it: Callgrind runs one thread at a time on one simulated processor,
// whose caches and branch predictor would otherwise see the two threads' accesses interleaved as
// the scheduler chose. What is counted is the work of both threads: its instructions the same in
// every run, its misses nearly (the uncounted waits still pass through the simulated processor).

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include "own/own.h"

namespace lab {

namespace {

// Spins until `done` holds or about `rounds` pauses have passed; whether it holds.
template <class Done>
bool spinUntil(Done done, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    return done();
}

constexpr int kSpinRounds = 20000;  // some 20 to 100 us of pauses

// Spins until `done` holds, and at least 64 rounds: a counted call's wait, uncounted, that leaves
// the simulated processor much as it found it whatever its length (a loop of one branch and one
// line, read over and over), where a sleep's path through the kernel would not.
template <class Done>
void spinAtLeast(Done done) {
    for (int i = 0; i < 64 || !done(); ++i) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

std::atomic<bool>& countingNow() {
    static std::atomic<bool> on{false};
    return on;
}

// Leaves this thread's handing over and waiting out of a counted call: Callgrind's counting off
// for the scope, where it is on.
struct Uncounted {
    const bool counted = countingNow().load(std::memory_order_acquire);
    Uncounted() {
        if (counted) CALLGRIND_TOGGLE_COLLECT;
    }
    ~Uncounted() {
        if (counted) CALLGRIND_TOGGLE_COLLECT;
    }
    Uncounted(const Uncounted&) = delete;
    Uncounted& operator=(const Uncounted&) = delete;
};

}  // namespace

void setTeamCounting(bool on) { countingNow().store(on, std::memory_order_release); }

// What the caller and the helper share: the work of the current call, a count of calls begun and
// of calls finished, a barrier (who has come, and its round), and in a counted call the helper's
// turns ended (at a meeting, or at its part's end) and those the caller has waited for.
struct Team::Shared {
    std::mutex lock;
    std::condition_variable wake;
    const std::function<void(unsigned)>* work = nullptr;
    std::atomic<unsigned long> begun{0}, finished{0};
    bool stop = false;
    unsigned waiting = 0;
    std::atomic<unsigned long> round{0};
    bool counted = false;  // the current call's: set when it is handed over
    std::atomic<unsigned long> helperTurns{0};
    unsigned long turnsSeen = 0;
    std::thread helper;

    // The caller, in a counted call: waits (uncounted) until the helper's turn has ended.
    void awaitHelper(std::unique_lock<std::mutex>& hold) {
        hold.unlock();
        spinAtLeast([&] { return helperTurns.load(std::memory_order_acquire) > turnsSeen; });
        hold.lock();
        turnsSeen = helperTurns.load();
    }
    // The helper, in a counted call, holding the lock: its turn has ended.
    void endTurn() {
        if (counted) helperTurns.fetch_add(1, std::memory_order_release);
    }
};

Team::Team(unsigned threads) : threads_(threads < 2 ? 1 : 2), shared_(std::make_unique<Shared>()) {
    if (threads_ < 2) return;
    Shared& s = *shared_;
    s.helper = std::thread([&s] {
        for (unsigned long done = 0;;) {
            spinUntil([&] { return s.begun.load(std::memory_order_acquire) > done; }, kSpinRounds);
            std::unique_lock<std::mutex> hold(s.lock);
            s.wake.wait(hold, [&] { return s.stop || s.begun.load() > done; });
            if (s.stop) return;
            const std::function<void(unsigned)>* work = s.work;
            const bool counted = s.counted;
            hold.unlock();
            if (counted) CALLGRIND_TOGGLE_COLLECT;
            (*work)(1);
            if (counted) CALLGRIND_TOGGLE_COLLECT;
            hold.lock();
            s.endTurn();
            done = s.finished.fetch_add(1) + 1;
            s.wake.notify_all();
        }
    });
}

Team::~Team() {
    if (threads_ < 2) return;
    {
        std::lock_guard<std::mutex> hold(shared_->lock);
        shared_->stop = true;
    }
    shared_->wake.notify_all();
    shared_->helper.join();
}

void Team::run(const std::function<void(unsigned)>& work) {
    if (threads_ < 2) {
        work(0);
        return;
    }
    Shared& s = *shared_;
    unsigned long call = 0;
    {
        const Uncounted handing;
        std::unique_lock<std::mutex> hold(s.lock);
        s.work = &work;
        s.counted = handing.counted;
        s.turnsSeen = s.helperTurns;
        call = s.begun.fetch_add(1) + 1;
        s.wake.notify_all();
        if (s.counted) s.awaitHelper(hold);  // the helper's part first, to its first meeting
    }
    work(0);
    const Uncounted waiting;
    if (waiting.counted) return spinAtLeast([&] { return s.finished.load(std::memory_order_acquire) == call; });
    if (spinUntil([&] { return s.finished.load(std::memory_order_acquire) == call; }, kSpinRounds)) return;
    std::unique_lock<std::mutex> hold(s.lock);
    s.wake.wait(hold, [&] { return s.finished.load() == call; });
}

void Team::meet() {
    if (threads_ < 2) return;
    Shared& s = *shared_;
    const Uncounted waiting;
    std::unique_lock<std::mutex> hold(s.lock);
    const unsigned long round = s.round.load();
    const bool helper = std::this_thread::get_id() == s.helper.get_id();
    if (helper) s.endTurn();
    if (++s.waiting == threads_) {
        s.waiting = 0;
        s.round.store(round + 1, std::memory_order_release);
        s.wake.notify_all();
        // In a counted call only the caller comes last: it waits for the helper's next turn.
        if (s.counted && !helper) s.awaitHelper(hold);
        return;
    }
    hold.unlock();
    if (waiting.counted) return spinAtLeast([&] { return s.round.load(std::memory_order_acquire) != round; });
    if (spinUntil([&] { return s.round.load(std::memory_order_acquire) != round; }, kSpinRounds)) return;
    hold.lock();
    s.wake.wait(hold, [&] { return s.round.load() != round; });
}

}  // namespace lab
