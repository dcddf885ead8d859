#include "tickwait.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {
std::mutex hookMutex;
TickWait::Hook currentHook;
} // namespace

void TickWait::delay(unsigned ticks) {
    Hook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    if (hook) {
        hook(ticks);
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(ticks * 1000000ULL / 60));
}

TickWait::Hook TickWait::setHook(Hook hook) {
    std::lock_guard lock(hookMutex);
    Hook previous = std::move(currentHook);
    currentHook = std::move(hook);
    return previous;
}
