#pragma once

#include "eventloopwait.h"
#include "ovpiktoexporteruploader.h"

#include <QStringList>

#include <functional>

// A delegate that writes down every call in order: "start:1", "start:0", "cancel",
// "stop" and the event numbers. On events 9 and 10 it also notes `bytesSent`.
class UploadRecorder : public OvPiktoExporterUploaderDelegate {
public:
    void uploadShouldStart(QZBoolean willStart) override {
        calls << QStringLiteral("start:%1").arg(int(willStart.value()));
    }
    void uploadShouldCancel() override { calls << QStringLiteral("cancel"); }
    void uploadShouldStop() override { calls << QStringLiteral("stop"); }
    void uploadEvent(Event event) override {
        calls << QString::number(int(event));
        if (uploader && (event == 9 || event == 10))
            sentAt << uploader->bytesSent();
        if (onEvent)
            onEvent(event);
    }

    // The calls with every run of progress ticks shown once as "10…".
    QString summary() const {
        QStringList out;
        for (const QString& call : calls) {
            if (call == QLatin1String("10") && !out.isEmpty() && out.last() == "10…")
                continue;
            out << (call == QLatin1String("10") ? QStringLiteral("10…") : call);
        }
        return out.join(' ');
    }
    // True once the request has ended one way or the other.
    bool ended() const { return calls.contains("11") || calls.contains("13"); }

    OvPiktoExporterUploader* uploader = nullptr;
    std::function<void(int)> onEvent;
    QStringList calls;
    QList<int> sentAt;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    return runEventLoopUntil(done, timeoutMs);
}
