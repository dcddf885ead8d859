#pragma once

#include <QString>

// The newest release found in the versions feed. A new record has an empty version,
// description and URL and a nil (null) title.
class OvPiktoUpdateVersionInfo {
public:
    const QString& version() const { return m_version; }
    const QString& title() const { return m_title; }
    const QString& description() const { return m_description; }
    const QString& url() const { return m_url; }
    void setVersion(const QString& version) { m_version = version; }
    void setTitle(const QString& title) { m_title = title; }
    void setDescription(const QString& description) { m_description = description; }
    void setUrl(const QString& url) { m_url = url; }

private:
    QString m_version = QStringLiteral("");
    QString m_title;
    QString m_description = QStringLiteral("");
    QString m_url = QStringLiteral("");
};
