#include "log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {
std::mutex sinkMutex;
Log::Sink currentSink;

QString processName() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationName();
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section('/', -1);
}
} // namespace

void Log::write(const QString& message) {
    Sink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = currentSink;
    }
    if (sink) {
        sink(message);
        return;
    }
    const QString line =
        QStringLiteral("%1 %2[%3] %4\n")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                 processName())
            .arg(getpid())
            .arg(message);
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

Log::Sink Log::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    Sink previous = std::move(currentSink);
    currentSink = std::move(sink);
    return previous;
}
