#pragma once

#include "qzboolean.h"

// What an uploader tells its owner. Every method has an empty default, so an owner
// overrides only what it wants to hear. The calls arrive synchronously on the thread
// that started the upload; an owner may destroy the uploader from inside any of them.
// A std::exception thrown from a callback is caught and logged by the uploader; any
// other exception passes through.
class OvPiktoExporterUploaderDelegate {
public:
    // The numbered upload events; OvPiktoExporterUploader names them too
    // (OvPiktoExporterUploader::ConnectionOpened) and says when each is raised.
    enum Event {
        FileAttributesUnreadable = 0, // postDataSize: the file's size could not be read
        InvalidUrl = 1,               // start: the upload address is empty or malformed
        NoRequestBody = 2,            // start: the body could not be built (file unreadable)
        RequestNotCreated = 3,
        StreamNotCreated = 4,
        StreamNotOpened = 5,
        StreamClientNotSet = 6,
        BytesSentUnreadable = 7,
        ConnectionOpened = 8, // the progress timer starts
        ResponseReceived = 9, // a piece of the answer that is not the failure text
        ProgressTick = 10,    // every 0.01 s from event 8 on: time to ask `bytesSent`
        UploadFinished = 11,  // the exchange ended well; the request is closed right after
        UploadFailed = 12,    // a piece of the answer equals "Upload failed" exactly
        StreamError = 13,     // the request failed; it has been closed already
    };

    virtual ~OvPiktoExporterUploaderDelegate() = default;

    // First thing `start` does: true when the request is being started, false when
    // `start` refused (no options, no credentials, or a request already running).
    virtual void uploadShouldStart(QZBoolean willStart) { (void)willStart; }
    // `cancel` was called; the request (if any) is closed right after.
    virtual void uploadShouldCancel() {}
    // The running request is about to be closed: after event 11, before event 13, and
    // after `uploadShouldCancel`.
    virtual void uploadShouldStop() {}
    // One of the numbered upload events.
    virtual void uploadEvent(Event event) { (void)event; }
};
