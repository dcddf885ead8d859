#include "exportmanager.h"

unsigned ExportManager::imageCount() {
    return unsigned(m_selection.size());
}

QString ExportManager::imagePathAtIndex(unsigned index) {
    return index < unsigned(m_selection.size()) ? m_selection.at(qsizetype(index)) : QString();
}

void ExportManager::clickExport() {
    if (m_clickExport)
        m_clickExport();
}
