// Nagle's algorithm goes off on the sockets to the upload's port, and only on those.
#include "lowdelaysockets.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

TEST(LowDelaySockets, SetsNoDelayOnlyOnTheSocketsToThePort) {
    QTcpServer servers[2];
    QTcpSocket clients[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(servers[i].listen(QHostAddress::LocalHost, 0));
        clients[i].connectToHost(QHostAddress::LocalHost, servers[i].serverPort());
        ASSERT_TRUE(clients[i].waitForConnected(5000));
    }
    EXPECT_EQ(LowDelaySockets::applyToPeerPort(servers[0].serverPort()), 1);
    int noDelay[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        socklen_t size = sizeof(int);
        getsockopt(int(clients[i].socketDescriptor()), IPPROTO_TCP, TCP_NODELAY, noDelay + i,
                   &size);
    }
    EXPECT_NE(noDelay[0], 0);
    EXPECT_EQ(noDelay[1], 0);
}
