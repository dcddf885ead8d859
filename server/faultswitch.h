#pragma once

#include "fault.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The armed faults. Thread-safe; the first armed fault whose prefix matches a request wins
// and is used up one request at a time.
class FaultSwitch {
public:
    // Arms a fault; its prefix is stored with repeated slashes collapsed.
    void arm(Fault fault);
    // Forgets every armed fault.
    void clear();
    // The fault for a request to `path`, counting it as used; empty when none matches.
    std::optional<Fault> take(const std::string& path);

private:
    std::mutex mutex_;
    std::vector<Fault> faults_;
};
