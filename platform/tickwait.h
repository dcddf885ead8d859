#pragma once

#include <functional>

// A blocking pause counted in ticks of 1/60 s. It does not run the event loop.
// Tests replace it with a hook that records the ticks instead of sleeping.
class TickWait {
public:
    using Hook = std::function<void(unsigned ticks)>;

    // Blocks the calling thread for the given number of ticks (or calls the hook).
    static void delay(unsigned ticks);
    // Installs a hook in place of the real wait; an empty hook restores it.
    // Returns the previous hook.
    static Hook setHook(Hook hook);
};
