// The two-thread entries' team: the caller and one helper thread that sleeps between calls.

#include <condition_variable>
#include <mutex>
#include <thread>

#include "own/own.h"

namespace lab {

// What the caller and the helper share: the work of the current call, a count of calls begun and
// of calls finished, and a barrier (who has come, and its round).
struct Team::Shared {
    std::mutex lock;
    std::condition_variable wake;
    const std::function<void(unsigned)>* work = nullptr;
    unsigned long begun = 0, finished = 0;
    bool stop = false;
    unsigned waiting = 0;
    unsigned long round = 0;
    std::thread helper;
};

Team::Team(unsigned threads) : threads_(threads < 2 ? 1 : 2), shared_(std::make_unique<Shared>()) {
    if (threads_ < 2) return;
    Shared& s = *shared_;
    s.helper = std::thread([&s] {
        unsigned long done = 0;
        for (;;) {
            std::unique_lock<std::mutex> hold(s.lock);
            s.wake.wait(hold, [&] { return s.stop || s.begun > done; });
            if (s.stop) return;
            const std::function<void(unsigned)>* work = s.work;
            hold.unlock();
            (*work)(1);
            hold.lock();
            done = ++s.finished;
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
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.work = &work;
        ++s.begun;
    }
    s.wake.notify_all();
    work(0);
    std::unique_lock<std::mutex> hold(s.lock);
    s.wake.wait(hold, [&] { return s.finished == s.begun; });
}

void Team::meet() {
    if (threads_ < 2) return;
    Shared& s = *shared_;
    std::unique_lock<std::mutex> hold(s.lock);
    const unsigned long round = s.round;
    if (++s.waiting == threads_) {
        s.waiting = 0;
        ++s.round;
        s.wake.notify_all();
        return;
    }
    s.wake.wait(hold, [&] { return s.round != round; });
}

}  // namespace lab
