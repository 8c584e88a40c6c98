// State that two threads hand each other: every read and change of it
// happens under one lock, and every change wakes whoever waits for one.
#ifndef VANTREL_HANDOFF_H
#define VANTREL_HANDOFF_H

#include <condition_variable>
#include <mutex>

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

#endif
