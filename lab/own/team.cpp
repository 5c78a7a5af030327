// The two-thread entries' team: the caller and one helper thread that waits between calls. A
// thread that waits spins a little first, as thread pools' workers do: the other thread is
// usually close behind, and waking from a condition variable took 10 to 50 us on the VMs here.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

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

}  // namespace

// What the caller and the helper share: the work of the current call, a count of calls begun and
// of calls finished, and a barrier (who has come, and its round).
struct Team::Shared {
    std::mutex lock;
    std::condition_variable wake;
    const std::function<void(unsigned)>* work = nullptr;
    std::atomic<unsigned long> begun{0}, finished{0};
    bool stop = false;
    unsigned waiting = 0;
    std::atomic<unsigned long> round{0};
    std::thread helper;
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
            hold.unlock();
            (*work)(1);
            hold.lock();
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
        std::lock_guard<std::mutex> hold(s.lock);
        s.work = &work;
        call = s.begun.fetch_add(1) + 1;
    }
    s.wake.notify_all();
    work(0);
    if (spinUntil([&] { return s.finished.load(std::memory_order_acquire) == call; }, kSpinRounds)) return;
    std::unique_lock<std::mutex> hold(s.lock);
    s.wake.wait(hold, [&] { return s.finished.load() == call; });
}

void Team::meet() {
    if (threads_ < 2) return;
    Shared& s = *shared_;
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
