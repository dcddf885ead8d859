#include "testhttp.h"

#include "httprequest.h"
#include "synchttp.h"

QByteArray TestHttp::zimpToken(const QByteArray& token) {
    return "ZimpToken realm=\"pikto.ovrana.ru\", token=\"" + token + "\"";
}

HttpResponse TestHttp::send(const QByteArray& method, const QString& url,
                            const QByteArray& authorization, const QByteArray& body,
                            const QByteArray& contentType, double timeoutSeconds) {
    HttpRequest request;
    request.url = url;
    request.method = method;
    request.body = body;
    request.timeoutSeconds = timeoutSeconds;
    if (!contentType.isEmpty())
        request.setHeader("Content-Type", contentType);
    if (!authorization.isEmpty())
        request.setHeader("Authorization", authorization);
    return SyncHttp::send(request);
}

HttpResponse TestHttp::get(const QString& url, double timeoutSeconds) {
    return send("GET", url, {}, {}, {}, timeoutSeconds);
}
