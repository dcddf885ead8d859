#pragma once

#include "accountpages.h"
#include "albumapi.h"
#include "database.h"
#include "faultswitch.h"
#include "httpserver.h"
#include "pagerenderer.h"
#include "photofolder.h"
#include "releasefiles.h"
#include "requestlog.h"
#include "router.h"
#include "serviceoptions.h"
#include "signinservice.h"
#include "uploadreceiver.h"
#include "webpages.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The stand-in photo service: one HTTP server answering the sign-in, album, upload, feed
// and website requests from the data folder, plus the loopback-only test controls
// (/_fault/, /_requests/). See HttpServer for how connections are served and bounded.
class PhotoService {
public:
    explicit PhotoService(ServiceOptions options);
    ~PhotoService();
    PhotoService(const PhotoService&) = delete;
    PhotoService& operator=(const PhotoService&) = delete;

    // Opens the data folder, applies the accounts and tokens of the options, binds the
    // listening socket and starts serving. Returns false with a reason in `error` on any
    // failure (a TLS key that does not match its certificate among others).
    bool prepare(std::string& error);
    // The bound port, valid after prepare.
    int port() const { return port_; }
    // "http://HOST:PORT", or "https://HOST:PORT" with TLS.
    std::string origin() const;
    // Waits until stop, then ends serving; true.
    bool run();
    // Ends run from any thread; stalled requests are released at once.
    void stop();

private:
    void setUpRoutes();
    // Decides what happens to one request once its head is read: test controls, then an
    // armed fault, then the route, whose body is read within its limit (413 beyond it,
    // before any of it is read when its length is announced) or streamed to it.
    void start(WebExchange& exchange);
    void armFault(RequestContext& context);

    ServiceOptions options_;
    Database db_;
    PhotoFolder photos_;
    ReleaseFiles releases_;
    AlbumApi albums_;
    PageRenderer renderer_;
    WebPages pages_;
    AccountPages accounts_;
    UploadReceiver uploads_;
    SignInService signIn_;
    FaultSwitch faults_;
    RequestLog log_;
    Router routes_;
    HttpServer server_;
    int port_ = 0;

    std::mutex stopMutex_;
    std::condition_variable stopped_;
    bool stopping_ = false; // under stopMutex_
};
