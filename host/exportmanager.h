#pragma once

#include "exportpluginprotocol.h"

#include <QStringList>

#include <functional>

// The host's export manager: what a plug-in asks about the selected photos. The host
// exports originals, so the paths are those of the library's own files.
class ExportManager : public ExportImageProtocol {
public:
    // The selected photos, in library order.
    void setSelection(const QStringList& paths) { m_selection = paths; }
    const QStringList& selection() const { return m_selection; }
    // What clickExport runs (the Export dialog's Export button); may be empty.
    void setClickExportHandler(std::function<void()> handler) {
        m_clickExport = std::move(handler);
    }

    unsigned imageCount() override;
    // An empty string for an index outside the selection.
    QString imagePathAtIndex(unsigned index) override;
    void clickExport() override;

private:
    QStringList m_selection;
    std::function<void()> m_clickExport;
};
