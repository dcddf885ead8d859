#pragma once

#include "accountpages.h"
#include "albumapi.h"
#include "connectionserver.h"
#include "database.h"
#include "faultswitch.h"
#include "pagerenderer.h"
#include "photofolder.h"
#include "releasefiles.h"
#include "requestlog.h"
#include "router.h"
#include "serviceoptions.h"
#include "signinservice.h"
#include "uploadreceiver.h"
#include "webpages.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The stand-in photo service: one HTTP server answering the sign-in, album, upload, feed
// and website requests from the data folder, plus the loopback-only test controls
// (/_fault/, /_requests/). Requests run on a pool of threads, so a stalled request does
// not hold up the others; connections wait between requests without a thread (see
// ConnectionServer).
class PhotoService {
public:
    explicit PhotoService(ServiceOptions options);
    ~PhotoService();
    PhotoService(const PhotoService&) = delete;
    PhotoService& operator=(const PhotoService&) = delete;

    // Opens the data folder, applies the accounts and tokens of the options and binds the
    // listening socket. Returns false with a reason in `error` on any failure.
    bool prepare(std::string& error);
    // The bound port, valid after prepare.
    int port() const { return port_; }
    // "http://HOST:PORT", or "https://HOST:PORT" with TLS.
    std::string origin() const;
    // Serves until stop; returns false when serving could not start.
    bool run();
    // Ends run from any thread; stalled requests are released at once.
    void stop();

private:
    void setUpRoutes();
    // Run on each request once its head is read, before routing and before its body.
    static void hideMultipartType(httplib::Request& req);
    // Answers one request: test controls, then an armed fault, then the body read within
    // the route's limit, then the route's handler.
    void handle(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader* reader);
    void armFault(RequestContext& context);
    // Holds the request until `seconds` pass or the service stops, then closes it.
    void stall(const httplib::Request& req, int seconds);
    // Closes the connection once `after` body bytes arrived (at once without a body).
    void cut(const httplib::Request& req, const httplib::ContentReader* reader, std::size_t after);

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
    std::unique_ptr<ConnectionServer> server_;
    int port_ = 0;

    std::mutex stopMutex_;
    std::condition_variable stopped_;
    bool stopping_ = false; // under stopMutex_, for stalled requests
    // A stop may come before run has started listening; these two close that gap.
    std::atomic<bool> stopRequested_ = false;
    std::atomic<bool> runActive_ = false;
};
