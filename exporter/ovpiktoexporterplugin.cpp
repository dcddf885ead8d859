#include "ovpiktoexporterplugin.h"

#include "bundle.h"
#include "ovpiktoexporter.h"

QString OvPiktoExporterPlugin::principalClass() const {
    return QStringLiteral("OvPiktoExporter");
}

std::unique_ptr<ExportPluginProtocol>
OvPiktoExporterPlugin::create(const QString& bundlePath, ExportImageProtocol* exportManager) {
    if (!exportManager)
        return nullptr;
    if (!bundlePath.isEmpty())
        Bundle::registerLoaded(bundlePath);
    auto exporter = std::make_unique<OvPiktoExporter>(exportManager, m_serviceUrls);
    exporter->loadNib();
    return exporter;
}
