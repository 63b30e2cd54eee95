#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <memory>

// A programmable HTTP/1.1 server on 127.0.0.1:<free port> for tests. Each path is given a
// route that says how to answer: status, headers, body, and misbehaviour (cut the body short,
// leave the length out, stall, close without answering). Runs on the thread that made it
// (the test's main thread); clients on other threads talk to it over the socket. In TLS mode it
// answers https with a throw-away certificate (throwAwayTLS).
class ZAVFakeHTTPServer : public QObject {
    Q_OBJECT
public:
    struct Route {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool sendLength = true;      // Content-Length (else the body ends with the connection)
        qint64 closeAfterBytes = -1; // close the connection after this many body bytes...
        int closeTimes = -1;         // ...in the first this many answers (-1: every one)
        // Ranges: "Range: bytes=N-" gets a 206 from N on when If-Range is absent or names the
        // ETag. The ETag is `etag` ("no validator" when empty), or a new one for every answer
        // ("the file changed"); ignoreRange answers every request with the whole body.
        QByteArray etag;
        bool changeETag = false;
        bool ignoreRange = false;
        qint64 announcedLength = -1; // announce this length instead of the body's
        bool stall = false;          // read the request, then never answer
        bool closeWithoutAnswer = false;
        int chunkSize = 64 * 1024; // body is written in chunks of this size...
        int chunkDelayMs = 0;      // ...with this pause between them
        // When set, the body is made on demand, chunk by chunk, from (offset, length): for large
        // bodies that should not sit in memory. `bodySize` is then the body's length.
        std::function<QByteArray(qint64 offset, qint64 length)> generator;
        qint64 bodySize = 0;
    };

    explicit ZAVFakeHTTPServer(QObject *parent = nullptr);
    // TLS mode: https with `tls`'s certificate and key.
    explicit ZAVFakeHTTPServer(const QSslConfiguration &tls, QObject *parent = nullptr);

    // Makes a self-signed certificate for 127.0.0.1 in `directory` (openssl req), adds it to
    // the certificate authorities this process trusts by default (so URL sessions made
    // afterwards accept it), and returns the server's configuration; a null configuration
    // when openssl fails.
    static QSslConfiguration throwAwayTLS(const QString &directory);

    quint16 port() const { return m_server->serverPort(); }
    QUrl url(const QString &path) const;

    void setRoute(const QString &path, const Route &route) { m_routes.insert(path, route); }
    static Route ok(const QByteArray &body, const QByteArray &contentType = "application/json");
    static Route status(int status, const QByteArray &body = {},
                        const QByteArray &contentType = "text/html");
    static Route redirect(const QString &location, int status = 302);

    // How many requests reached each path (the path alone, without the query).
    int hits(const QString &path) const { return m_hits.value(path); }
    QList<QByteArray> requestLines() const { return m_requestLines; }
    // Each request's "Range:" value, empty when it had none, in order.
    QList<QByteArray> ranges() const { return m_ranges; }
    // Body bytes written to clients so far, over every route.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }

private:
    void accept();
    void serve(class QTcpSocket *socket, const QByteArray &request);

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_hits;
    QList<QByteArray> m_requestLines;
    QList<QByteArray> m_ranges;
    qint64 m_bodyBytesSent = 0;
};
