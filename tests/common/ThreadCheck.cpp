// Whether this test program started a thread: every thread the tests start
// (their own, the application's, a loopback server's, a library's) goes
// through pthread_create, which this program defines over the C library's.
// Not under the sanitizers, whose runtimes define it themselves.

#include "tests/common/ThreadCheck.h"

#ifdef ZK_THREAD_CHECK

#include <atomic>
#include <dlfcn.h>
#include <pthread.h>

namespace {
std::atomic<bool> started{false};
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*run)(void*), void* arg) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create system = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    started = true;
    return system(thread, attributes, run, arg);
}

bool threadsStarted() { return started; }

#else

bool threadsStarted() { return false; }

#endif
