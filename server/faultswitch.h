#pragma once

#include "fault.h"
#include "querystring.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The armed faults. Thread-safe; the first armed fault whose prefix matches a request wins
// and is used up one request at a time. The switch and the request log beside it are test
// controls: off unless the service is started for tests, and even then only for requests a
// test sends itself (from loopback, never from a page another site loaded in a browser).
class FaultSwitch {
public:
    // Turns the test controls on (off by default).
    void enable(bool on) { enabled_ = on; }
    // Whether a request to a test control is refused: 0 when it may go on, else the status
    // to refuse it with: 404 while the switch is off (the controls do not exist then), 403
    // from an address other than loopback or with an Origin or Referer header (a browser
    // sends one of them with a form or script another page started).
    int refusal(const std::string& address, bool fromBrowser) const;

    // The fault described by the fields of an arming request: path (a request path starting
    // with "/"), action (status, drop, stall or cut), count (1 .. 1 000 000, default 1),
    // status (100 .. 599, required for status), seconds (0 .. 3600, default 4), after (a byte
    // count, default 1024), body and content_type. Empty, with the reason in `error`, when a
    // field is missing or out of range.
    static std::optional<Fault> parse(const QueryString::Fields& fields, std::string& error);
    // Arms a fault; its prefix is stored with repeated slashes collapsed.
    void arm(Fault fault);
    // Forgets every armed fault.
    void clear();
    // The fault for a request to `path`, counting it as used; empty when none matches.
    std::optional<Fault> take(const std::string& path);

private:
    bool enabled_ = false;
    std::mutex mutex_;
    std::vector<Fault> faults_;
};
