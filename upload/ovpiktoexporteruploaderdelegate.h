#pragma once

#include "qzboolean.h"

// What an uploader tells its owner. Every method has an empty default, so an owner
// overrides only what it wants to hear. The calls arrive synchronously on the thread
// that started the upload; an owner may destroy the uploader from inside any of them.
// A std::exception thrown from a callback is caught and logged by the uploader; any
// other exception passes through.
class OvPiktoExporterUploaderDelegate {
public:
    virtual ~OvPiktoExporterUploaderDelegate() = default;

    // First thing `start` does: true when the request is being started, false when
    // `start` refused (no options, no credentials, or a request already running).
    virtual void uploadShouldStart(QZBoolean willStart) { (void)willStart; }
    // `cancel` was called; the request (if any) is closed right after.
    virtual void uploadShouldCancel() {}
    // The running request is about to be closed: after event 11, before event 13, and
    // after `uploadShouldCancel`.
    virtual void uploadShouldStop() {}
    // One of the numbered upload events (see OvPiktoExporterUploader::Event).
    virtual void uploadEvent(int event) { (void)event; }
};
