#pragma once

#include "exportpluginprotocol.h"
#include "serviceurls.h"

#include <QObject>

// The plug-in module's root object: the host finds it through Qt's plugin loader and
// asks it for the principal class, OvPiktoExporter.
class OvPiktoExporterPlugin : public QObject, public ExportPluginFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ExportPluginFactory_iid)
    Q_INTERFACES(ExportPluginFactory)

public:
    QString principalClass() const override;
    // Registers the bundle for the plug-in's resource and text look-ups, creates an
    // OvPiktoExporter for `exportManager` and loads its page. Refuses (null) without an
    // export manager.
    std::unique_ptr<ExportPluginProtocol> create(const QString& bundlePath,
                                                 ExportImageProtocol* exportManager) override;

private:
    // Read once, when the host loads the module; every instance uses these addresses.
    const ServiceUrls m_serviceUrls = ServiceUrls::fromEnvironment();
};
