#include "ovpiktoexportercommlayer.h"

#include "albumfeed.h"
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

HttpRequest albumRequest(const ServiceUrls& urls, const QString& url, const QByteArray& method,
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
    return request;
}

QDomElement childNamed(const QDomNode& parent, const QString& name) {
    return AlbumFeed::childNamed(parent, name);
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

void OvPiktoExporterCommLayer::markLastAnswer(RequestOutcome::Kind kind) {
    if (m_last.kind != RequestOutcome::Kind::Answered || m_last.status < 200 ||
        m_last.status >= 300)
        return;
    m_last.kind = kind;
}

HttpResponse OvPiktoExporterCommLayer::send(HttpRequest request, qint64 cap) {
    return send(std::move(request), cap, QStringLiteral("the service"));
}

HttpResponse OvPiktoExporterCommLayer::send(HttpRequest request, qint64 cap,
                                            const QString& subject) {
    request.timeoutSeconds = m_limits.silenceSeconds;
    request.deadlineSeconds = m_limits.deadlineSeconds;
    request.maxAnswerBytes = cap;
    HttpResponse response = SyncHttp::send(request);

    using Failure = HttpResponse::Failure;
    using Kind = RequestOutcome::Kind;
    RequestOutcome outcome;
    outcome.subject = subject;
    outcome.origin = m_urls.origin();
    outcome.status = response.status;
    switch (response.failure) {
    case Failure::None:
        outcome.kind = Kind::Answered;
        break;
    case Failure::TimedOut:
        outcome.kind = Kind::TimedOut;
        outcome.seconds = request.timeoutSeconds;
        break;
    case Failure::DeadlinePassed:
        outcome.kind = Kind::DeadlinePassed;
        outcome.seconds = request.deadlineSeconds;
        break;
    case Failure::TooLarge:
        outcome.kind = Kind::TooLarge;
        outcome.limitBytes = cap;
        break;
    case Failure::ConnectionRefused:
        outcome.kind = Kind::Unreachable;
        outcome.detail = QStringLiteral("connection refused");
        break;
    case Failure::HostNotFound:
        outcome.kind = Kind::Unreachable;
        outcome.detail = QStringLiteral("host not found");
        break;
    case Failure::ConnectionClosed:
        outcome.kind = Kind::Unreachable;
        outcome.detail = QStringLiteral("the connection closed before an answer");
        break;
    case Failure::InvalidUrl:
    case Failure::UnsupportedScheme:
        outcome.kind = Kind::Unreachable;
        outcome.detail = QStringLiteral("not an address the client can use");
        break;
    case Failure::Other:
        outcome.kind = Kind::Unreachable;
        outcome.detail = response.error;
        break;
    }
    m_last = outcome;
    return response;
}

QString OvPiktoExporterCommLayer::albumIdFromAtomId(const QString& atomId) {
    return AlbumFeed::albumIdFromAtomId(atomId);
}

std::optional<QList<OvPiktoAlbum>>
OvPiktoExporterCommLayer::getUserAlbumsWithCredentials(const OVPiktoCredentials& credentials,
                                                       int* error) {
    const HttpResponse response =
        send(albumRequest(m_urls, usersUrl(m_urls, "%1/users/%2/albums/", credentials.login()),
                          "GET", feedType, credentials),
             m_limits.answerBytes);
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return std::nullopt;
    }
    if (response.status != 200) {
        report(error, codeForStatus(response.status, listCodes));
        return std::nullopt;
    }
    XmlDocument::Problem problem = XmlDocument::Problem::None;
    QList<OvPiktoAlbum> albums =
        AlbumFeed::albumsFromFeed(response.data, &problem).value_or(QList<OvPiktoAlbum>());
    if (problem == XmlDocument::Problem::TooDeep) {
        // A hostile answer rather than an account without albums.
        markLastAnswer(RequestOutcome::Kind::TooDeep);
        report(error, ServiceResult::NoConnection);
        return std::nullopt;
    }
    // Still listed as an account without albums (code 0); the outcome tells the caller
    // the list was not read.
    if (problem != XmlDocument::Problem::None)
        markLastAnswer(RequestOutcome::Kind::Unreadable);
    if (albums.isEmpty())
        albums.append(OvPiktoAlbum(QStringLiteral("Неразобранное"), QStringLiteral(""), 0, false,
                                   QStringLiteral("-1")));
    report(error, ServiceResult::Success);
    return albums;
}

std::optional<QDomDocument>
OvPiktoExporterCommLayer::fetchAlbumDataWithID(const QString& albumId,
                                               const OVPiktoCredentials& credentials, int* error) {
    const HttpResponse response =
        send(albumRequest(m_urls,
                          usersUrl(m_urls, "%1/users/%2/album/%3/", credentials.login(), albumId),
                          "GET", entryType, credentials),
             m_limits.answerBytes);
    if (!response.received) {
        report(error, ServiceResult::NoConnection);
        return std::nullopt;
    }
    if (response.status != 200) {
        report(error, codeForStatus(response.status, fetchCodes));
        return std::nullopt;
    }
    XmlDocument::Problem problem = XmlDocument::Problem::None;
    auto document = AlbumFeed::entryDocument(response.data, &problem);
    if (problem == XmlDocument::Problem::TooDeep)
        markLastAnswer(RequestOutcome::Kind::TooDeep);
    else if (!document)
        markLastAnswer(RequestOutcome::Kind::Unreadable);
    report(error, problem == XmlDocument::Problem::TooDeep ? ServiceResult::NoConnection
                                                           : ServiceResult::Success);
    return document;
}

void OvPiktoExporterCommLayer::updateUserAlbumWithID(const QString& albumId, const QString& title,
                                                     const QString& summary,
                                                     const std::optional<QString>& password,
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
    // An entry without "f:password" leaves the album's password as it is; one fetched with
    // the element loses it, so only the caller decides.
    for (QDomElement stale = childNamed(root, "f:password"); !stale.isNull();
         stale = childNamed(root, "f:password"))
        root.removeChild(stale);
    if (password) {
        const QString trimmed = QZText::trimString(*password);
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
    } else {
        Log::write(QStringLiteral("Body is (%1)").arg(withoutDeclaration(*document)));
    }
    const QByteArray body = withoutDeclaration(*document).toUtf8();

    const HttpResponse response =
        send(albumRequest(m_urls,
                          usersUrl(m_urls, "%1/users/%2/album/%3/", credentials.login(), albumId),
                          "PUT", entryType, credentials, body),
             m_limits.answerBytes);
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
        send(albumRequest(m_urls, usersUrl(m_urls, "%1/users/%2/albums/", credentials.login()),
                          "POST", entryType, credentials, body.toUtf8()),
             m_limits.answerBytes);
    Log::write(QStringLiteral("err: %1").arg(response.received ? response.status : 0));
    if (!response.received) {
        *place = ServiceResult::NoConnection;
        return {};
    }
    if (response.status != 201) {
        *place = codeForStatus(response.status, createCodes);
        return {};
    }
    const QString albumId = AlbumFeed::albumIdOfEntry(response.data);
    if (albumId.isEmpty()) {
        // Created, but the answer does not say which album: nothing to write into.
        markLastAnswer(RequestOutcome::Kind::Unreadable);
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
    // The single slash after the API base is deliberate: delete differs from the others.
    const HttpResponse response = send(
        albumRequest(m_urls, usersUrl(m_urls, "%1users/%2/album/%3/", credentials.login(), albumId),
                     "DELETE", entryType, credentials),
        m_limits.answerBytes);
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
