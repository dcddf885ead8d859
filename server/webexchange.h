#pragma once

#include "webrequest.h"
#include "webresponse.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

// One request on its way through the HTTP server: made when its head has been read, handed
// to the service to decide what happens next, and released when the request ends.
struct WebExchange {
    // What the service wants once it has seen the head.
    enum class Next {
        Read,   // read the body into `body`, then call `finish` and send `res`
        Answer, // send `res` now without reading a body (the connection then closes)
        Close,  // close the connection without an answer
        Hold,   // keep the connection silent for `holdFor`, then close it
    };

    WebRequest req;
    WebResponse res;
    Next next = Next::Read;
    std::chrono::seconds holdFor{0};
    // Fed each piece of the body as it arrives; false closes the connection without an
    // answer. Not set: the body is ignored.
    std::function<bool(std::string_view)> body;
    // Called once the whole body has been fed; fills `res`.
    std::function<void()> finish;

    // Kept by the server: when the first body byte arrived, and how many arrived.
    std::chrono::steady_clock::time_point bodyStarted{};
    std::uint64_t bodyBytes = 0;
    bool started = false;
    bool held = false;
    bool dispatched = false; // finish handed to a worker
};
