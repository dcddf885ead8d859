// The sign-in exchange: login and password become a token. The password only travels
// encrypted with the RSA key the service hands out with each sign-in.
#include "ovpiktoexportercommlayer.h"

#include "log.h"
#include "qztext.h"
#include "rsaencrypttext.h"
#include "serviceresult.h"
#include "serviceurls.h"
#include "synchttp.h"
#include "xmldocument.h"

#include <QDomElement>
#include <QRegularExpression>

#include <cxxabi.h>
#include <exception>
#include <memory>
#include <typeinfo>

namespace {

// The Base64 cipher text of the credentials must fit here with its NUL.
constexpr std::size_t cipherCapacity = 1024;

QString nodeText(const QDomNode& node) {
    return node.isElement() ? node.toElement().text() : node.nodeValue();
}

QString orNull(const QString& text) {
    return text.isNull() ? QStringLiteral("(null)") : text;
}

// A value inside a double-quoted XML attribute. Tabs and line breaks are written as
// character references, as a parser would turn them into spaces otherwise.
QString escapeAttribute(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            escaped += QLatin1String("&amp;");
            break;
        case '<':
            escaped += QLatin1String("&lt;");
            break;
        case '>':
            escaped += QLatin1String("&gt;");
            break;
        case '"':
            escaped += QLatin1String("&quot;");
            break;
        case '\'':
            escaped += QLatin1String("&apos;");
            break;
        case '\t':
            escaped += QLatin1String("&#9;");
            break;
        case '\n':
            escaped += QLatin1String("&#10;");
            break;
        case '\r':
            escaped += QLatin1String("&#13;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString exceptionName(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return QString::fromLatin1(status == 0 && demangled ? demangled.get() : mangled);
}

void logCaught(const std::exception& e) {
    Log::write(QStringLiteral("signIntoOvranaPiktoWithCredentials: Caught %1: %2")
                   .arg(exceptionName(e), QString::fromUtf8(e.what())));
}

// The token answer as it may be logged: the text of every "token" element, and the
// token itself wherever else it appears, replaced by ***.
QString maskedAnswer(const QString& answer, const QString& token) {
    static const QRegularExpression tokenElement(
        QStringLiteral("(<token(?:\\s[^>]*)?>)(.*?)(</token\\s*>)"),
        QRegularExpression::DotMatchesEverythingOption);
    QString masked = answer;
    masked.replace(tokenElement, QStringLiteral("\\1***\\3"));
    if (!token.isEmpty())
        masked.replace(token, QStringLiteral("***"));
    return masked;
}

} // namespace

QByteArray OvPiktoExporterCommLayer::credentialsSnippet(const QString& login,
                                                        const QString& password) {
    return QStringLiteral("<credentials login=\"%1\" password=\"%2\" />")
        .arg(escapeAttribute(login), escapeAttribute(password))
        .toUtf8();
}

int OvPiktoExporterCommLayer::signIntoOvranaPiktoWithCredentials(OVPiktoCredentials& credentials) {
    credentials.setToken(QString());

    HttpRequest request;
    request.url = m_urls.signInKey();
    const HttpResponse keyResponse = send(request, m_limits.answerBytes);
    if (!keyResponse.received || keyResponse.data.isEmpty()) {
        markLastAnswer(RequestOutcome::Kind::Unreadable);
        return ServiceResult::NoConnection;
    }

    QString keyText;
    QString requestId;
    if (const auto keyDocument = XmlDocument::parse(QString::fromLatin1(keyResponse.data))) {
        const QDomNodeList children = keyDocument->documentElement().childNodes();
        if (children.size() >= 1)
            keyText = nodeText(children.at(0));
        if (children.size() >= 2)
            requestId = nodeText(children.at(1));
    }
    Log::write(QStringLiteral("key: %1\n").arg(orNull(keyText)));
    Log::write(QStringLiteral("request id: %1\n").arg(orNull(requestId)));
    if (keyText.isNull() || requestId.isNull()) {
        markLastAnswer(RequestOutcome::Kind::Unreadable);
        return ServiceResult::NoConnection;
    }

    request.url = m_urls.signInToken();
    request.method = "POST";
    request.setHeader("Content-Type", "application/x-www-form-urlencoded");
    try {
        const QByteArray key = keyText.toUtf8();
        const QByteArray snippet = credentialsSnippet(credentials.login(), credentials.password());
        char cipher[cipherCapacity] = {};
        if (!rsa_encrypt_text(key.constData(), snippet.constData(), cipher, sizeof cipher)) {
            Log::write(QStringLiteral("signIntoOvranaPiktoWithCredentials: the key was refused "
                                      "or the credentials do not fit"));
            markLastAnswer(RequestOutcome::Kind::Unreadable);
            return ServiceResult::NoConnection;
        }
        // The identifier is escaped too, so the body always holds exactly two fields.
        request.body =
            QStringLiteral("credentials=%1&request_id=%2")
                .arg(QZText::encodeURL(QString::fromUtf8(cipher)), QZText::encodeURL(requestId))
                .toUtf8();
    } catch (const std::exception& e) {
        logCaught(e);
        return ServiceResult::NoConnection;
    }
    const HttpResponse tokenResponse = send(request, m_limits.answerBytes);
    if (!tokenResponse.received || tokenResponse.data.isEmpty()) {
        markLastAnswer(RequestOutcome::Kind::Unreadable);
        return ServiceResult::NoConnection;
    }

    try {
        const QString answer = QString::fromLatin1(tokenResponse.data);
        QDomElement first;
        if (const auto tokenDocument = XmlDocument::parse(answer))
            first = tokenDocument->documentElement().firstChild().toElement();
        const bool isToken = first.tagName() == QLatin1String("token");
        Log::write(QStringLiteral("request 2, response is \n%1\n")
                       .arg(maskedAnswer(answer, isToken ? first.text() : QString())));
        if (isToken) {
            if (first.text().isEmpty())
                return ServiceResult::AuthRefused;
            credentials.setToken(first.text());
            return ServiceResult::Success;
        }
        if (first.tagName() == QLatin1String("error") &&
            first.attribute(QStringLiteral("code")) == QLatin1String("2"))
            return ServiceResult::AuthRefused;
        // Neither a token nor a verdict on the credentials: not signed in.
        markLastAnswer(RequestOutcome::Kind::Unreadable);
        return ServiceResult::NoConnection;
    } catch (const std::exception& e) {
        logCaught(e);
        return ServiceResult::NoConnection;
    }
}
