#pragma once

namespace Platform {

// Wakes a thread's event loop from other threads: wake() from any thread,
// readEnd() for a socket notifier, drain() once woken.
class WakePipe {
public:
    WakePipe(); // a program without one cannot run: fatal when none can be made
    ~WakePipe();
    WakePipe(const WakePipe &) = delete;
    WakePipe &operator=(const WakePipe &) = delete;

    int readEnd() const { return m_ends[0]; }
    void wake();
    void drain();

private:
    int m_ends[2] = {-1, -1};
};

} // namespace Platform
