#include "ZAVFakeHTTPServer.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

ZAVFakeHTTPServer::ZAVFakeHTTPServer(QObject *parent)
    : QObject(parent), m_server(std::make_unique<QTcpServer>())
{
    connect(m_server.get(), &QTcpServer::newConnection, this, &ZAVFakeHTTPServer::accept);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("fake HTTP server: cannot listen on 127.0.0.1");
}

ZAVFakeHTTPServer::ZAVFakeHTTPServer(const QSslConfiguration &tls, QObject *parent)
    : QObject(parent), m_tls(true)
{
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(tls);
    // A TLS connection is handed over once its handshake is done.
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this,
            &ZAVFakeHTTPServer::accept);
    m_server = std::move(server);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("fake HTTP server: cannot listen on 127.0.0.1");
}

QSslConfiguration ZAVFakeHTTPServer::throwAwayTLS(const QString &directory)
{
    const QString key = directory + QStringLiteral("/tls-key.pem");
    const QString certificate = directory + QStringLiteral("/tls-cert.pem");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return {};
    QFile keyFile(key), certificateFile(certificate);
    if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly))
        return {};
    const QSslCertificate trusted(&certificateFile, QSsl::Pem);
    QSslConfiguration client = QSslConfiguration::defaultConfiguration();
    client.addCaCertificate(trusted);
    QSslConfiguration::setDefaultConfiguration(client);

    QSslConfiguration server = QSslConfiguration::defaultConfiguration();
    server.setLocalCertificate(trusted);
    server.setPrivateKey(QSslKey(&keyFile, QSsl::Ec, QSsl::Pem));
    server.setPeerVerifyMode(QSslSocket::VerifyNone);
    return server;
}

QUrl ZAVFakeHTTPServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(port())
                    .arg(path));
}

ZAVFakeHTTPServer::Route ZAVFakeHTTPServer::ok(const QByteArray &body,
                                               const QByteArray &contentType)
{
    Route route;
    route.body = body;
    route.headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    return route;
}

ZAVFakeHTTPServer::Route ZAVFakeHTTPServer::status(int status, const QByteArray &body,
                                                   const QByteArray &contentType)
{
    Route route = ok(body, contentType);
    route.status = status;
    return route;
}

ZAVFakeHTTPServer::Route ZAVFakeHTTPServer::redirect(const QString &location, int status)
{
    Route route;
    route.status = status;
    route.headers.append(qMakePair(QByteArray("Location"), location.toUtf8()));
    return route;
}

void ZAVFakeHTTPServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray request = buffer->left(end);
            buffer->remove(0, end + 4);
            serve(socket, request);
        };
        connect(socket, &QTcpSocket::readyRead, this, read);
        // A TLS connection may hold the request already when it is handed over.
        if (socket->bytesAvailable() > 0)
            read();
    }
}

void ZAVFakeHTTPServer::serve(QTcpSocket *socket, const QByteArray &request)
{
    const QByteArray line = request.left(request.indexOf("\r\n"));
    m_requestLines.append(line);
    const QList<QByteArray> parts = line.split(' ');
    QString path = parts.size() > 1 ? QString::fromUtf8(parts[1]) : QString();
    path = path.left(path.indexOf(u'?') < 0 ? path.size() : path.indexOf(u'?'));
    m_hits[path] += 1;

    Route route = m_routes.value(path, status(404, "<html><body>Not Found</body></html>"));
    if (route.stall)
        return;
    if (route.closeWithoutAnswer) {
        socket->disconnectFromHost();
        return;
    }

    const qint64 size = route.generator ? route.bodySize : route.body.size();
    auto header = [&request](const QByteArray &name) {
        for (const QByteArray &line : request.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    };
    const QByteArray range = header("Range");
    m_ranges.append(range);
    const QByteArray etag = route.changeETag
                                ? '"' + route.etag + QByteArray::number(m_hits[path]) + '"'
                            : route.etag.isEmpty() ? QByteArray()
                                                   : '"' + route.etag + '"';
    const QByteArray ifRange = header("If-Range");
    qint64 from = 0;
    int status = route.status;
    if (status == 200 && range.startsWith("bytes=") && !route.ignoreRange &&
        (ifRange.isEmpty() || ifRange == etag)) {
        from = qMin(range.mid(6, range.indexOf('-') - 6).toLongLong(), size);
        status = 206;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Fake\r\n";
    for (const auto &header : route.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (!etag.isEmpty())
        head += "ETag: " + etag + "\r\n";
    if (status == 206)
        head += "Content-Range: bytes " + QByteArray::number(from) + '-' +
                QByteArray::number(size - 1) + '/' + QByteArray::number(size) + "\r\n";
    if (route.sendLength)
        head +=
            "Content-Length: " +
            QByteArray::number(route.announcedLength >= 0 ? route.announcedLength : size - from) +
            "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    const bool drop =
        route.closeAfterBytes >= 0 && (route.closeTimes < 0 || m_hits[path] <= route.closeTimes);
    const qint64 limit = drop ? qMin(from + route.closeAfterBytes, size) : size;
    // The body is sent by a timer owned by the socket, so that everything goes with it.
    auto *timer = new QTimer(socket);
    timer->setInterval(route.chunkDelayMs > 0 ? route.chunkDelayMs : 1);
    qint64 offset = from;
    auto pump = [this, socket, timer, route, limit, offset]() mutable {
        // Keep the socket's own buffer small so that a large body is produced as it is sent.
        // A client that went away ends the body: writes to a closed socket buffer nothing.
        if (socket->state() != QAbstractSocket::ConnectedState)
            offset = limit;
        while (offset < limit && socket->bytesToWrite() < 4 * route.chunkSize) {
            const qint64 n = qMin<qint64>(route.chunkSize, limit - offset);
            socket->write(route.generator ? route.generator(offset, n) : route.body.mid(offset, n));
            offset += n;
            m_bodyBytesSent += n;
            if (route.chunkDelayMs > 0)
                break;
        }
        if (offset >= limit) {
            timer->stop();
            socket->disconnectFromHost();
        }
    };
    connect(timer, &QTimer::timeout, socket, pump);
    timer->start();
}
