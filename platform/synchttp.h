#pragma once

#include "httprequest.h"
#include "httpresponse.h"

// Sends requests synchronously. The request runs on a dedicated network thread and the
// caller blocks on it without running its own event loop, so no timer, socket or UI
// event of the caller's thread is dispatched while it waits.
// Needs a QCoreApplication; callable from any thread.
class SyncHttp {
public:
    // Sends the request and returns what came back; never throws.
    static HttpResponse send(const HttpRequest& request);
};
