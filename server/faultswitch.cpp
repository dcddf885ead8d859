#include "faultswitch.h"

#include "textutil.h"

namespace {

// The named field as a whole decimal number within [low, high]; `fallback` when absent.
bool number(const QueryString::Fields& fields, const char* name, long long fallback, long long low,
            long long high, long long& out) {
    const std::optional<std::string> text = QueryString::value(fields, name);
    if (!text) {
        out = fallback;
        return true;
    }
    try {
        std::size_t used = 0;
        out = std::stoll(*text, &used);
        return used == text->size() && out >= low && out <= high;
    } catch (const std::exception&) {
        return false;
    }
}

bool isLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

} // namespace

int FaultSwitch::refusal(const std::string& address, bool fromBrowser) const {
    if (!enabled_)
        return 404;
    return isLoopback(address) && !fromBrowser ? 0 : 403;
}

std::optional<Fault> FaultSwitch::parse(const QueryString::Fields& fields, std::string& error) {
    auto fail = [&error](const char* reason) {
        error = reason;
        return std::nullopt;
    };
    Fault fault;
    const std::optional<std::string> path = QueryString::value(fields, "path");
    const std::optional<std::string> action = QueryString::value(fields, "action");
    if (!path || path->empty() || (*path)[0] != '/')
        return fail("path must be a request path starting with /");
    fault.pathPrefix = *path;
    if (action == "status")
        fault.action = Fault::Action::Status;
    else if (action == "drop")
        fault.action = Fault::Action::Drop;
    else if (action == "stall")
        fault.action = Fault::Action::Stall;
    else if (action == "cut")
        fault.action = Fault::Action::Cut;
    else
        return fail("action must be status, drop, stall or cut");

    long long count = 0;
    long long status = 0;
    long long seconds = 0;
    long long after = 0;
    if (!number(fields, "count", 1, 1, 1000000, count))
        return fail("count must be a positive number");
    if (!number(fields, "seconds", 4, 0, 3600, seconds))
        return fail("seconds must be a number from 0 to 3600");
    if (!number(fields, "after", 1024, 0, 1LL << 40, after))
        return fail("after must be a byte count");
    if (fault.action == Fault::Action::Status) {
        if (!QueryString::value(fields, "status") || !number(fields, "status", 0, 100, 599, status))
            return fail("status must be an HTTP status from 100 to 599");
        fault.status = static_cast<int>(status);
    }
    fault.remaining = static_cast<int>(count);
    fault.seconds = static_cast<int>(seconds);
    fault.after = static_cast<std::size_t>(after);
    fault.body = QueryString::value(fields, "body").value_or("");
    if (const std::optional<std::string> type = QueryString::value(fields, "content_type");
        type && !type->empty())
        fault.contentType = *type;
    return fault;
}

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
