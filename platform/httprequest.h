#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One synchronous HTTP request as the service client builds it. The cache is always
// bypassed: every request goes to the network.
struct HttpRequest {
    QString url;
    QByteArray method = "GET";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Seconds without any progress after which the request is abandoned.
    double timeoutSeconds = 3.0;
    // Seconds from the start after which the request is abandoned however it moves;
    // 0 for none.
    double deadlineSeconds = 0;
    // The most answer bytes accepted; a longer answer is abandoned as soon as it shows
    // (announced length or bytes read). Negative for no limit.
    qint64 maxAnswerBytes = -1;

    void setHeader(const QByteArray& name, const QByteArray& value);
};
