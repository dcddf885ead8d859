#include "connectionserver.h"

#include "connectionstream.h"
#include "requestframing.h"

#include <openssl/err.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string tlsError() {
    const unsigned long code = ERR_get_error();
    if (code == 0)
        return "unknown TLS error";
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

ConnectionServer::ConnectionServer(Settings settings)
    : settings_(settings), park_(settings.park, [this](std::unique_ptr<Connection> connection) {
          // Owned by the task until it runs; std::function needs a copyable callable.
          auto shared = std::make_shared<std::unique_ptr<Connection>>(std::move(connection));
          workers_->enqueue([this, shared] { serve(std::move(*shared)); });
      }) {
    // The library's own pool only hands accepted sockets to the park.
    new_task_queue = [] { return new httplib::ThreadPool(2); };
}

ConnectionServer::~ConnectionServer() {
    closing_ = true;
    park_.stop();
    if (workers_)
        workers_->shutdown();
    if (tls_)
        SSL_CTX_free(tls_);
}

bool ConnectionServer::useTls(const std::string& certificateFile, const std::string& keyFile,
                              std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) {
        error = "cannot set up TLS: " + tlsError();
        return false;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    if (SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1) {
        error = "cannot load the certificate " + certificateFile + ": " + tlsError();
    } else if (SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot load the private key " + keyFile + ": " + tlsError();
    } else if (SSL_CTX_check_private_key(context) != 1) {
        error = "the private key " + keyFile + " does not match the certificate";
    } else {
        if (tls_)
            SSL_CTX_free(tls_);
        tls_ = context;
        return true;
    }
    SSL_CTX_free(context);
    return false;
}

bool ConnectionServer::prepare(std::string& error) {
    workers_ = std::make_unique<httplib::ThreadPool>(settings_.workers);
    if (!park_.start()) {
        error = "cannot watch connections (epoll)";
        return false;
    }
    return true;
}

bool ConnectionServer::widenBacklog() {
    // listen() on a listening socket only changes its backlog.
    return ::listen(svr_sock_, SOMAXCONN) == 0;
}

void ConnectionServer::closeConnections() {
    closing_ = true;
    park_.stop();
}

bool ConnectionServer::process_and_close_socket(socket_t sock) {
    // Answers leave at once, not after the peer's delayed acknowledgement of the last one.
    int yes = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(sock);
        return false;
    }
    SSL* ssl = nullptr;
    if (tls_) {
        ssl = SSL_new(tls_);
        if (!ssl || SSL_set_fd(ssl, sock) != 1) {
            SSL_free(ssl);
            ::close(sock);
            return false;
        }
    }
    park_.park(std::make_unique<Connection>(sock, ssl));
    return true;
}

bool ConnectionServer::lingerForNext(Connection& connection) {
    // A client on a kept-alive connection often sends its next request at once; taking it
    // here spares two thread hand-overs. The wait is short, so a silent client holds the
    // worker only briefly before it goes to the park.
    if (closing_ || connection.served == 0 ||
        !connection.waitReadable(static_cast<int>(settings_.lingerMs)))
        return false;
    return connection.fill(settings_.park.headBytes) != Connection::Progress::Closed &&
           connection.hasRequestHead();
}

void ConnectionServer::serve(std::unique_ptr<Connection> connection) {
    ConnectionStream stream(*connection, settings_.readTimeoutMs, settings_.writeTimeoutMs);
    while (connection->hasRequestHead() || lingerForNext(*connection)) {
        if (RequestFraming::ambiguous(connection->requestHead())) {
            // The library would pick one length; nothing after this head can be trusted.
            static const std::string refusal =
                "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\n"
                "Connection: close\r\nContent-Length: 28\r\n\r\nConflicting request length\r\n";
            connection->write(refusal.data(), refusal.size(), settings_.writeTimeoutMs);
            return;
        }
        ++connection->served;
        const bool last = closing_ || connection->served >= settings_.requestsPerConnection;
        bool closed = false;
        if (!process_request(stream, last, closed, setup_) || closed || last)
            return; // closes the connection
    }
    if (!closing_)
        park_.park(std::move(connection));
}
