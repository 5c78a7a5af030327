// The two-thread entries' team: the caller and one helper thread that waits between calls. A
// thread that waits spins a little first, as thread pools' workers do: the other thread is
// usually close behind, and waking from a condition variable took 10 to 50 us on the VMs here.
//
// Counted calls take turns on the caller's thread: the helper's part runs on a stack of its own,
// and each meeting switches from one part to the other, the helper's part first between meetings.
// Callgrind runs one thread at a time on one simulated processor, so two threads' work was counted
// in turns before too; but a thread waiting for the other, however quiet, still ran when the
// scheduler chose and passed through the simulated caches and branch predictor: under load the
// misses of two counts runs differed by up to 21%. On one thread the simulated processor sees the
// same instructions and accesses in the same order in every run. A counted process switches turns
// on before its first call, so its team never makes the helper thread.

#include <sys/mman.h>
#include <ucontext.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#include <valgrind/valgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#define VALGRIND_STACK_REGISTER(start, end) 0u
#define VALGRIND_STACK_DEREGISTER(id)
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#if __has_feature(thread_sanitizer) && !defined(__SANITIZE_THREAD__)
#define __SANITIZE_THREAD__ 1
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#endif
#ifdef __SANITIZE_THREAD__
#include <sanitizer/tsan_interface.h>
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

constexpr std::size_t kTurnStackBytes = std::size_t(8) << 20;  // a thread's stack, as std::thread's

std::atomic<bool>& countingNow() {
    static std::atomic<bool> on{false};
    return on;
}

std::atomic<bool>& turnsNow() {
    static std::atomic<bool> on{false};
    return on;
}

// In a counted call, switches Callgrind's counting over for the scope: off around a hand-over (both
// parts' switches are left out), on around the helper's part, which is switched into with it off.
struct CountingSwitched {
    const bool counted = countingNow().load(std::memory_order_acquire);
    CountingSwitched() {
        if (counted) CALLGRIND_TOGGLE_COLLECT;
    }
    ~CountingSwitched() {
        if (counted) CALLGRIND_TOGGLE_COLLECT;
    }
    CountingSwitched(const CountingSwitched&) = delete;
    CountingSwitched& operator=(const CountingSwitched&) = delete;
};

// One side of a switch between the two parts that take turns on one thread: its context, and its
// stack as the sanitizers, which follow one stack per thread, are told of it.
struct Side {
    ucontext_t context{};
    const void* stackBottom = nullptr;
    std::size_t stackBytes = 0;
    void* fiber = nullptr;  // ThreadSanitizer's
};

// Switches this thread from `from` to `to`; returns when a switch comes back to `from` (never
// where `last`: the side has ended).
void switchSides(Side& from, Side& to, bool last = false) {
#ifdef __SANITIZE_ADDRESS__
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(last ? nullptr : &fakeStack, to.stackBottom, to.stackBytes);
#else
    (void)last;
#endif
#ifdef __SANITIZE_THREAD__
    __tsan_switch_to_fiber(to.fiber, 0);
#endif
    swapcontext(&from.context, &to.context);
#ifdef __SANITIZE_ADDRESS__
    __sanitizer_finish_switch_fiber(fakeStack, &to.stackBottom, &to.stackBytes);
#endif
}

}  // namespace

void setTeamCounting(bool on) { countingNow().store(on, std::memory_order_release); }
void setTeamTurns(bool on) { turnsNow().store(on, std::memory_order_release); }

// What the caller and the helper share: the work of the current call, a count of calls begun and
// of calls finished, a barrier (who has come, and its round); for calls in turns, the two sides.
struct Team::Shared {
    std::mutex lock;
    std::condition_variable wake;
    const std::function<void(unsigned)>* work = nullptr;
    std::atomic<unsigned long> begun{0}, finished{0};
    bool stop = false;
    unsigned waiting = 0;
    std::atomic<unsigned long> round{0};
    std::thread helper;

    bool inTurns = false, onHelper = false, helperEnded = false;
    Side caller, helperSide;
    char* turnStack = nullptr;  // mapped as a thread's stack is, leaving the heap as a thread leaves it
    unsigned turnStackId = 0;  // Valgrind's
    std::exception_ptr helperFailed;

    ~Shared() {
        if (turnStack == nullptr) return;
        VALGRIND_STACK_DEREGISTER(turnStackId);
        munmap(turnStack, kTurnStackBytes);
#ifdef __SANITIZE_THREAD__
        if (helperSide.fiber) __tsan_destroy_fiber(helperSide.fiber);
#endif
    }

    // The helper's part in turns, on its own stack, from its first switch to its end.
    static void helperPart(unsigned high, unsigned low) {
        Shared& s = *reinterpret_cast<Shared*>(std::uintptr_t(high) << 32 | low);
#ifdef __SANITIZE_ADDRESS__
        __sanitizer_finish_switch_fiber(nullptr, &s.caller.stackBottom, &s.caller.stackBytes);
#endif
        {
            const CountingSwitched on;
            try {
                (*s.work)(1);
            } catch (...) {
                s.helperFailed = std::current_exception();
            }
        }
        s.helperEnded = true;
        s.onHelper = false;
        switchSides(s.helperSide, s.caller, true);  // the next call makes a new context
    }

    // Runs work's two parts in turns on this thread, the helper's first. O(1) a meeting, but for a
    // first call's stack (8 MiB of address space, touched as the part uses it).
    void runInTurns(const std::function<void(unsigned)>& part) {
        if (turnStack == nullptr) {
            void* mapped = mmap(nullptr, kTurnStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK | MAP_NORESERVE, -1, 0);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
            turnStack = static_cast<char*>(mapped);
            turnStackId = VALGRIND_STACK_REGISTER(turnStack, turnStack + kTurnStackBytes);
#ifdef __SANITIZE_THREAD__
            helperSide.fiber = __tsan_create_fiber(0);
#endif
        }
#ifdef __SANITIZE_THREAD__
        caller.fiber = __tsan_get_current_fiber();
#endif
        work = &part;
        helperEnded = false;
        helperFailed = nullptr;
        {
            const CountingSwitched off;
            getcontext(&helperSide.context);
            helperSide.context.uc_stack.ss_sp = turnStack;
            helperSide.context.uc_stack.ss_size = kTurnStackBytes;
            helperSide.context.uc_link = nullptr;
            helperSide.stackBottom = turnStack;
            helperSide.stackBytes = kTurnStackBytes;
            const std::uintptr_t self = reinterpret_cast<std::uintptr_t>(this);
            makecontext(&helperSide.context, reinterpret_cast<void (*)()>(&helperPart), 2, unsigned(self >> 32),
                        unsigned(self & 0xffffffffu));
            inTurns = true;
            onHelper = true;
            switchSides(caller, helperSide);
        }
        std::exception_ptr callerFailed;
        try {
            part(0);
        } catch (...) {
            callerFailed = std::current_exception();
        }
        while (!helperEnded) {  // the helper's part after the caller's last meeting (or its failure)
            const CountingSwitched off;
            onHelper = true;
            switchSides(caller, helperSide);
        }
        inTurns = false;
        if (callerFailed) std::rethrow_exception(callerFailed);
        if (helperFailed) std::rethrow_exception(helperFailed);
    }

    // A meeting in turns: the other part's turn, where it has not ended.
    void switchTurns() {
        const CountingSwitched off;
        if (onHelper) {
            onHelper = false;
            switchSides(helperSide, caller);
        } else if (!helperEnded) {
            onHelper = true;
            switchSides(caller, helperSide);
        }
    }
};

Team::Team(unsigned threads) : threads_(threads < 2 ? 1 : 2), shared_(std::make_unique<Shared>()) {
    if (threads_ < 2 || turnsNow().load(std::memory_order_acquire)) return;
    Shared& s = *shared_;
    s.helper = std::thread([&s] {
        for (unsigned long done = 0;;) {
            spinUntil([&] { return s.begun.load(std::memory_order_acquire) > done; }, kSpinRounds);
            std::unique_lock<std::mutex> hold(s.lock);
            s.wake.wait(hold, [&] { return s.stop || s.begun.load() > done; });
            if (s.stop) return;
            const std::function<void(unsigned)>* work = s.work;
            hold.unlock();
            (*work)(1);
            hold.lock();
            done = s.finished.fetch_add(1) + 1;
            s.wake.notify_all();
        }
    });
}

Team::~Team() {
    if (!shared_->helper.joinable()) return;
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
    if (!s.helper.joinable() || countingNow().load(std::memory_order_acquire)) return s.runInTurns(work);
    unsigned long call = 0;
    {
        std::unique_lock<std::mutex> hold(s.lock);
        s.work = &work;
        call = s.begun.fetch_add(1) + 1;
        s.wake.notify_all();
    }
    work(0);
    if (spinUntil([&] { return s.finished.load(std::memory_order_acquire) == call; }, kSpinRounds)) return;
    std::unique_lock<std::mutex> hold(s.lock);
    s.wake.wait(hold, [&] { return s.finished.load() == call; });
}

void Team::meet() {
    if (threads_ < 2) return;
    Shared& s = *shared_;
    if (s.inTurns) return s.switchTurns();
    std::unique_lock<std::mutex> hold(s.lock);
    const unsigned long round = s.round.load();
    if (++s.waiting == threads_) {
        s.waiting = 0;
        s.round.store(round + 1, std::memory_order_release);
        s.wake.notify_all();
        return;
    }
    hold.unlock();
    if (spinUntil([&] { return s.round.load(std::memory_order_acquire) != round; }, kSpinRounds)) return;
    hold.lock();
    s.wake.wait(hold, [&] { return s.round.load() != round; });
}

}  // namespace lab
