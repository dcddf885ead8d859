#pragma once

#include <QString>

// Everything one image upload needs besides the credentials.
class OVPiktoUploadOptions {
public:
    // Access levels as the service knows them.
    enum Access { Private = 0, Public = 1, Friends = 2 };

    // Public, no flags, version "0.9", file "12345.jpg".
    OVPiktoUploadOptions() : OVPiktoUploadOptions(QStringLiteral("12345.jpg")) {}
    // Public, no flags, version "0.9"; file name and album stay nil.
    explicit OVPiktoUploadOptions(const QString& filePath) : m_filePath(filePath) {}

    int access() const { return m_access; }
    bool isPublishingDisabled() const { return m_isPublishingDisabled; }
    bool isCommentingDisabled() const { return m_isCommentingDisabled; }
    bool isAdultsOnly() const { return m_isAdultsOnly; }
    const QString& exportPluginVersion() const { return m_exportPluginVersion; }
    const QString& filePath() const { return m_filePath; }
    const QString& fileName() const { return m_fileName; }
    const QString& albumID() const { return m_albumID; }

    void setAccess(int access) { m_access = access; }
    void setIsPublishingDisabled(bool value) { m_isPublishingDisabled = value; }
    void setIsCommentingDisabled(bool value) { m_isCommentingDisabled = value; }
    void setIsAdultsOnly(bool value) { m_isAdultsOnly = value; }
    void setExportPluginVersion(const QString& version) { m_exportPluginVersion = version; }
    void setFilePath(const QString& path) { m_filePath = path; }
    void setFileName(const QString& name) { m_fileName = name; }
    void setAlbumID(const QString& albumID) { m_albumID = albumID; }

private:
    int m_access = Public;
    bool m_isPublishingDisabled = false;
    bool m_isCommentingDisabled = false;
    bool m_isAdultsOnly = false;
    QString m_exportPluginVersion = QStringLiteral("0.9");
    QString m_filePath;
    QString m_fileName;
    QString m_albumID;
};
