#include "log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <mutex>
#include <typeinfo>
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

QString Log::exceptionName(const std::exception& exception) {
    const char* mangled = typeid(exception).name();
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return QString::fromLatin1(status == 0 && demangled ? demangled.get() : mangled);
}

void Log::caught(const QString& operation, const std::exception& exception) {
    write(QStringLiteral("%1: caught %2 -- %3")
              .arg(operation, exceptionName(exception), QString::fromUtf8(exception.what())));
}
