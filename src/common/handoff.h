// The program's threads: the state two of them hand each other, every read
// and change of it under one lock and every change waking whoever waits for
// one, and how a thread of the program's own is started.
#ifndef VANTREL_HANDOFF_H
#define VANTREL_HANDOFF_H

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

template <class State>
class handoff {
public:
    // Applies change(state) and returns what it returns.
    template <class Change>
    decltype(auto) update(Change&& change)
    {
        const std::lock_guard lock(mutex_);
        const struct wake {
            std::condition_variable& changed;
            ~wake() { changed.notify_all(); }
        } on_exit{changed_};
        return change(state_);
    }

    // Blocks until ready(state) holds, and returns the state as it was then.
    template <class Ready>
    State wait(Ready&& ready)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ready(state_); });
        return state_;
    }

    State get()
    {
        const std::lock_guard lock(mutex_);
        return state_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_{};
};

// Starts a thread that never takes a signal, so that the handlers that
// remove a half-written file run on the thread that creates such files and
// cannot race it. Throws std::system_error if no thread can be had.
template <class Function>
std::thread start_thread(Function&& function)
{
#ifndef _WIN32
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    const struct restore {
        sigset_t& mask;
        ~restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } on_exit{before};
#endif
    return std::thread(std::forward<Function>(function));
}

#endif
