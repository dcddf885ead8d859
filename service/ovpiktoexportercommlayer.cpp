#include "ovpiktoexportercommlayer.h"

#include "leadinginteger.h"
#include "log.h"
#include "qztext.h"
#include "serviceresult.h"
#include "serviceurls.h"
#include "synchttp.h"

#include <QDomElement>

namespace {

const QByteArray feedType = "application/atom+xml; type=feed";
const QByteArray entryType = "application/atom+xml; type=entry";

struct StatusCodes {
    QList<int> success;
    int authRefused = 0;
    int notFound = 0;
    int forbidden = 0;
};

const StatusCodes listCodes{{200}, 401, 0, 403};
const StatusCodes fetchCodes{{200}, 401, 404, 403};
const StatusCodes updateCodes{{200}, 401, 0, 403};
const StatusCodes createCodes{{201}, 403, 0, 401};
const StatusCodes deleteCodes{{200, 204}, 403, 404, 0};

int codeForStatus(int status, const StatusCodes& codes) {
    if (codes.success.contains(status))
        return ServiceResult::Success;
    if (status == codes.authRefused)
        return ServiceResult::AuthRefused;
    if (codes.notFound && status == codes.notFound)
        return ServiceResult::AlbumNotFound;
    if (codes.forbidden && status == codes.forbidden)
        return ServiceResult::AccessForbidden;
    return ServiceResult::OtherStatus;
}

void report(int* error, int code) {
    if (error)
        *error = code;
}

QString usersUrl(const ServiceUrls& urls, const char* format, const QString& login,
                 const QString& albumId = {}) {
    // One multi-argument substitution: a "%" in the login or identifier is not re-read.
    const QString pattern = QString::fromLatin1(format);
    if (albumId.isNull())
        return pattern.arg(urls.apiBase(), login);
    return pattern.arg(urls.apiBase(), login, albumId);
}

HttpResponse albumRequest(const ServiceUrls& urls, const QString& url, const QByteArray& method,
                          const QByteArray& contentType, const OVPiktoCredentials& credentials,
                          const QByteArray& body = {}) {
    HttpRequest request;
    request.url = url;
    request.method = method;
    request.body = body;
    request.setHeader("Content-Type", contentType);
    request.setHeader("Authorization", QStringLiteral("ZimpToken realm=\"%1\", token=\"%2\"")
                                           .arg(urls.authorizationRealm(), credentials.token())
                                           .toUtf8());
    return SyncHttp::send(request);
}

std::optional<QDomDocument> parse(const QByteArray& data) {
    QDomDocument document;
    if (!document.setContent(QString::fromUtf8(data), false))
        return std::nullopt;
    return document;
}

QDomElement childNamed(const QDomNode& parent, const QString& name) {
    return QZText::findXMLElementInArray(parent.childNodes(), name).toElement();
}

OvPiktoAlbum albumFromEntry(const QDomElement& entry) {
    OvPiktoAlbum album;
    const QDomNodeList children = entry.childNodes();
    if (const QDomElement id = QZText::findXMLElementInArray(children, "id").toElement();
        !id.isNull()) {
        // An id that names no album keeps the placeholder identifier.
        if (const QString albumId = OvPiktoExporterCommLayer::albumIdFromAtomId(id.text());
            !albumId.isNull())
            album.setAlbumId(albumId);
    }
    if (const QDomElement title = QZText::findXMLElementInArray(children, "title").toElement();
        !title.isNull())
        album.setName(title.text());
    if (const QDomElement count =
            QZText::findXMLElementInArray(children, "f:image-count").toElement();
        !count.isNull())
        album.setImagesCount(leadingInteger(count.attribute("value")));
    if (const QDomElement locked =
            QZText::findXMLElementInArray(children, "f:protected").toElement();
        !locked.isNull())
        album.setIsLocked(locked.attribute("value") == QLatin1String("true"));
    if (const QDomElement summary = QZText::findXMLElementInArray(children, "summary").toElement();
        !summary.isNull())
        album.setDescription(summary.text());
    return album;
}

void setElementText(QDomElement element, const QString& text) {
    while (!element.firstChild().isNull())
        element.removeChild(element.firstChild());
    element.appendChild(element.ownerDocument().createTextNode(text));
}

// The entry as sent: serialised without its XML declaration.
QString withoutDeclaration(const QDomDocument& document) {
    QString text = document.toString(-1);
    if (text.startsWith(QLatin1String("<?xml"))) {
        const qsizetype end = text.indexOf(QLatin1String("?>"));
        text.remove(0, end + 2);
        while (text.startsWith('\n') || text.startsWith('\r'))
            text.remove(0, 1);
    }
    return text;
}

} // namespace

QString OvPiktoExporterCommLayer::albumIdFromAtomId(const QString& atomId) {
    const qsizetype at = atomId.indexOf(QLatin1String("album:"));
    if (at < 0)
        return {};
    return atomId.mid(at + 6);
}

std::optional<QList<OvPiktoAlbum>>
OvPiktoExporterCommLayer::getUserAlbumsWithCredentials(const OVPiktoCredentials& credentials,
                                                       int* error) {
    const HttpResponse response =
        albumRequest(m_urls, usersUrl(m_urls, "%1/users/%2/albums/", credentials.login()), "GET",
                     feedType, credentials);
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return std::nullopt;
    }
    if (response.status != 200) {
        report(error, codeForStatus(response.status, listCodes));
        return std::nullopt;
    }
    QList<OvPiktoAlbum> albums;
    if (const auto document = parse(response.data)) {
        const QDomNodeList children = document->documentElement().childNodes();
        for (int i = 0; i < children.size(); ++i) {
            if (children.at(i).nodeName() == QLatin1String("entry"))
                albums.append(albumFromEntry(children.at(i).toElement()));
        }
    }
    if (albums.isEmpty())
        albums.append(OvPiktoAlbum(QStringLiteral("Неразобранное"), QStringLiteral(""), 0, false,
                                   QStringLiteral("-1")));
    report(error, ServiceResult::Success);
    return albums;
}

std::optional<QDomDocument>
OvPiktoExporterCommLayer::fetchAlbumDataWithID(const QString& albumId,
                                               const OVPiktoCredentials& credentials, int* error) {
    const HttpResponse response = albumRequest(
        m_urls, usersUrl(m_urls, "%1/users/%2/album/%3/", credentials.login(), albumId), "GET",
        entryType, credentials);
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return std::nullopt;
    }
    if (response.status != 200) {
        report(error, codeForStatus(response.status, fetchCodes));
        return std::nullopt;
    }
    report(error, ServiceResult::Success);
    auto document = parse(response.data);
    if (!document || childNamed(document->documentElement(), "id").isNull())
        return std::nullopt;
    return document;
}

void OvPiktoExporterCommLayer::updateUserAlbumWithID(const QString& albumId, const QString& title,
                                                     const QString& summary,
                                                     const QString& password,
                                                     const OVPiktoCredentials& credentials,
                                                     int* error) {
    auto document = fetchAlbumDataWithID(albumId, credentials, nullptr);
    if (!document) {
        report(error, ServiceResult::NoConnection);
        return;
    }
    QDomElement root = document->documentElement();
    if (QDomElement titleElement = childNamed(root, "title"); !titleElement.isNull())
        setElementText(titleElement, title);
    if (QDomElement summaryElement = childNamed(root, "summary"); !summaryElement.isNull()) {
        setElementText(summaryElement, summary);
    } else {
        QDomElement added = document->createElement("summary");
        root.appendChild(added);
        setElementText(added, summary);
    }
    const QString trimmed = QZText::trimString(password);
    // The service answers entries that declare the f prefix; one that does not gets the
    // declaration, so the body stays well-formed.
    if (!root.hasAttribute("xmlns:f"))
        root.setAttribute("xmlns:f", "ovrana:pikto");
    QDomElement passwordElement = document->createElement("f:password");
    root.appendChild(passwordElement);

    // The log shows the entry with the password masked; the service gets the real one.
    setElementText(passwordElement, trimmed.isEmpty() ? QString() : QStringLiteral("***"));
    Log::write(QStringLiteral("Body is (%1)").arg(withoutDeclaration(*document)));
    setElementText(passwordElement, trimmed);
    const QByteArray body = withoutDeclaration(*document).toUtf8();

    const HttpResponse response = albumRequest(
        m_urls, usersUrl(m_urls, "%1/users/%2/album/%3/", credentials.login(), albumId), "PUT",
        entryType, credentials, body);
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return;
    }
    Log::write(QStringLiteral("code: %1").arg(response.status));
    report(error, codeForStatus(response.status, updateCodes));
}

QString OvPiktoExporterCommLayer::createNewUserAlbumWithTitle(const QString& title,
                                                              const QString& summary,
                                                              const QString& password,
                                                              const OVPiktoCredentials& credentials,
                                                              int* error) {
    int localError = ServiceResult::Success;
    int* place = error ? error : &localError;
    const QString trimmed = QZText::trimString(password);

    // The album is created empty; the update that follows writes title, summary and
    // password as escaped XML text.
    QString body =
        QStringLiteral("<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">\n");
    body += QStringLiteral("<title></title>\n");
    body += QStringLiteral("<summary></summary>\n");
    if (!trimmed.isEmpty())
        body += QStringLiteral("<f:password></f:password>\n");
    body += QStringLiteral("</entry>\n");

    const HttpResponse response =
        albumRequest(m_urls, usersUrl(m_urls, "%1/users/%2/albums/", credentials.login()), "POST",
                     entryType, credentials, body.toUtf8());
    Log::write(QStringLiteral("err: %1").arg(response.received ? response.status : 0));
    if (!response.received) {
        *place = ServiceResult::NoConnection;
        return {};
    }
    if (response.status != 201) {
        *place = codeForStatus(response.status, createCodes);
        return {};
    }
    QString albumId;
    if (const auto document = parse(response.data)) {
        const QDomElement id = childNamed(document->documentElement(), "id");
        if (!id.isNull())
            albumId = albumIdFromAtomId(id.text());
    }
    if (albumId.isEmpty()) {
        // Created, but the answer does not say which album: nothing to write into.
        *place = ServiceResult::NoConnection;
        return {};
    }
    updateUserAlbumWithID(albumId, title, summary, trimmed, credentials, place);
    return *place == ServiceResult::Success ? albumId : QString();
}

void OvPiktoExporterCommLayer::deleteUserAlbumByID(const QString& albumId,
                                                   const OVPiktoCredentials& credentials,
                                                   int* error) {
    if (albumId == QLatin1String("-1")) {
        report(error, ServiceResult::Success);
        return;
    }
    const HttpResponse response =
        albumRequest(m_urls, usersUrl(m_urls, "%1users/%2/album/%3/", credentials.login(), albumId),
                     "DELETE", entryType, credentials);
    Log::write(QStringLiteral("result of deleting album with ID = %1: %2")
                   .arg(albumId, response.received ? QString::fromUtf8(response.data)
                                                   : QStringLiteral("(null)")));
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return;
    }
    Log::write(QStringLiteral("delete response code: %1").arg(response.status));
    report(error, codeForStatus(response.status, deleteCodes));
}
