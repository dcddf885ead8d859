#include "faultswitch.h"

#include "textutil.h"

void FaultSwitch::arm(Fault fault) {
    fault.pathPrefix = TextUtil::collapseSlashes(fault.pathPrefix);
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void FaultSwitch::clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<Fault> FaultSwitch::take(const std::string& path) {
    const std::string normalized = TextUtil::collapseSlashes(path);
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (normalized.compare(0, it->pathPrefix.size(), it->pathPrefix) != 0)
            continue;
        Fault fault = *it;
        if (--it->remaining <= 0)
            faults_.erase(it);
        return fault;
    }
    return std::nullopt;
}
