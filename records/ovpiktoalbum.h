#pragma once

#include <QString>

// One album of the signed-in user as the service lists it. The identifier "-1" marks the
// placeholder that stands in for an account without albums. Null strings stand for nil.
class OvPiktoAlbum {
public:
    // The placeholder defaults: empty name and description, no images, not locked, "-1".
    OvPiktoAlbum() = default;
    OvPiktoAlbum(const QString& name, const QString& description, int imagesCount, bool isLocked,
                 const QString& albumId)
        : m_albumId(albumId), m_name(name), m_description(description), m_imagesCount(imagesCount),
          m_isLocked(isLocked) {}

    const QString& albumId() const { return m_albumId; }
    const QString& name() const { return m_name; }
    const QString& description() const { return m_description; }
    int imagesCount() const { return m_imagesCount; }
    bool isLocked() const { return m_isLocked; }
    void setAlbumId(const QString& albumId) { m_albumId = albumId; }
    void setName(const QString& name) { m_name = name; }
    void setDescription(const QString& description) { m_description = description; }
    void setImagesCount(int count) { m_imagesCount = count; }
    void setIsLocked(bool locked) { m_isLocked = locked; }

    // Comparators: −1 when this album orders before `other`, +1 after, 0 equal.
    // Names compare case-sensitively by Unicode character value, canonically equivalent
    // forms equal. "Desc" by name runs A to Z; "Asc" by count puts the largest first;
    // "Asc" by lock puts unlocked albums first.
    int nameComparisonAsc(const OvPiktoAlbum& other) const;
    int nameComparisonDesc(const OvPiktoAlbum& other) const;
    int imagesCountComparisonAsc(const OvPiktoAlbum& other) const;
    int imagesCountComparisonDesc(const OvPiktoAlbum& other) const;
    int isLockedComparisonAsc(const OvPiktoAlbum& other) const;
    int isLockedComparisonDesc(const OvPiktoAlbum& other) const;

    // The platform's default string order used by the name comparators: −1, 0 or +1.
    static int compareNames(const QString& a, const QString& b);

private:
    QString m_albumId = QStringLiteral("-1");
    QString m_name = QStringLiteral("");
    QString m_description = QStringLiteral("");
    int m_imagesCount = 0;
    bool m_isLocked = false;
};
