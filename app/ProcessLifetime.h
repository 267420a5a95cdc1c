#pragma once
// What keeps the process alive once start-up is over: the worker threads,
// each holding a KeepAlive while it runs, and a stop asked from outside (a
// signal, a service manager). The initial thread waits here meanwhile.
//
// Any thread; requestStop not from a signal handler. The state is never
// destroyed: a worker may end the process while the initial thread still
// waits on it, and destroying a waited-on condition variable can block.

class ProcessLifetime {
public:
    // Held by a worker thread for as long as it runs. Create it on the
    // starting thread, before the thread exists, and move it into the
    // thread's body, so that no moment passes with nothing holding the process.
    class KeepAlive {
    public:
        KeepAlive();
        ~KeepAlive();
        KeepAlive(KeepAlive&& other) noexcept;
        KeepAlive(const KeepAlive&) = delete;
        KeepAlive& operator=(const KeepAlive&) = delete;
        KeepAlive& operator=(KeepAlive&&) = delete;

    private:
        bool active_ = true;
    };

    // Blocks until no KeepAlive is left (false) or a stop is asked (true; the
    // request is taken, so a later one counts anew).
    static bool awaitEndOrStop();
    // Blocks until no KeepAlive is left.
    static void awaitEnd();
    // Blocks for good: the process is being ended by another thread, and
    // returning would end it a second time under that thread's feet.
    [[noreturn]] static void awaitExit();
    static void requestStop();
};
