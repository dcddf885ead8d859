// Nagle's algorithm goes off on the sockets to the upload's port, and only on those.
#include "lowdelaysockets.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

int noDelay(const QTcpSocket& socket) {
    int value = -1;
    socklen_t length = sizeof value;
    EXPECT_EQ(getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
              0);
    return value;
}

} // namespace

TEST(LowDelaySockets, SetsNoDelayOnlyOnTheSocketsToThePort) {
    QTcpServer upload;
    QTcpServer other;
    ASSERT_TRUE(upload.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    QTcpSocket toUpload;
    QTcpSocket toOther;
    toUpload.connectToHost(QHostAddress::LocalHost, upload.serverPort());
    toOther.connectToHost(QHostAddress::LocalHost, other.serverPort());
    ASSERT_TRUE(toUpload.waitForConnected(5000));
    ASSERT_TRUE(toOther.waitForConnected(5000));
    ASSERT_EQ(noDelay(toUpload), 0);

    // The listening sockets and the other connection have other peers (or none).
    EXPECT_EQ(LowDelaySockets::applyToPeerPort(upload.serverPort()), 1);
    EXPECT_NE(noDelay(toUpload), 0);
    EXPECT_EQ(noDelay(toOther), 0);
}
