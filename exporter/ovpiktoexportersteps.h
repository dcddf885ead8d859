#pragma once

#include "log.h"
#include "qzutils.h"

#include <QString>

// The two helpers every part of the exporter's controller (sign-in, albums, export, update)
// uses: its log lines and its bundle texts.
namespace OvPiktoExporterSteps {

// Logs "OPERATION: STEP".
inline void logStep(const char* operation, const char* step) {
    Log::write(QStringLiteral("%1: %2").arg(QLatin1String(operation), QLatin1String(step)));
}

// The bundle's text for `key` in the running language.
inline QString text(const char* key) {
    return QZUtils::infoValueForKey(QLatin1String(key));
}

} // namespace OvPiktoExporterSteps
