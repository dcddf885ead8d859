#include "ovpiktoexporterplugin.h"

#include "bundle.h"
#include "log.h"
#include "ovpiktoexporter.h"
#include "tlstrust.h"

QString OvPiktoExporterPlugin::principalClass() const {
    return QStringLiteral("OvPiktoExporter");
}

std::unique_ptr<ExportPluginProtocol>
OvPiktoExporterPlugin::create(const QString& bundlePath, ExportImageProtocol* exportManager) {
    if (!exportManager)
        return nullptr;
    if (!bundlePath.isEmpty())
        Bundle::registerLoaded(bundlePath);
    // A private certificate authority, as pikto takes it; read once per process, before
    // the first request. An unusable file leaves the system's store and says why.
    static const bool trustRead = [] {
        QString error;
        if (!TlsTrust::useAuthoritiesFromEnvironment(&error))
            Log::write(QStringLiteral("OvPiktoExporter: %1").arg(error));
        return true;
    }();
    Q_UNUSED(trustRead);
    auto exporter = std::make_unique<OvPiktoExporter>(exportManager, m_serviceUrls);
    exporter->loadNib();
    return exporter;
}
