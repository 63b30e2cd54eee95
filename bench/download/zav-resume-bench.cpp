// A package download over a connection that keeps breaking: the fake HTTP server serves a
// package (with an ETag, honouring Range) and drops the connection after every DROP bytes of
// each answer; an installation manager downloads it, the feed record pinning its size and
// SHA-256, with the installer's first retry wait (1 s) before each new piece, and as many
// retries as the drops need (the installer itself allows five per download). Prints how many body
// bytes the server sent against the package's size; exits 0 when the download completed and
// matched, 1 otherwise.
//
//   zav-resume-bench [SIZE_MIB [DROP_MIB]]      (defaults: 1024 and 100)
//   -> size=<bytes> sent=<bytes> sent_ratio=<r> retries=<n> seconds=<s>
//
// With -mirror, the package is at two places (pkgUrl and one of pkgMirrors, two servers): the
// first dies after half of it, and the download goes on from the second. The bytes sent are
// those of both servers.
//   zav-resume-bench -mirror [SIZE_MIB]            (default 1024)

#include "feed/ZAVFeedData.h"
#include "install/ZAVInstallationManager.h"
#include "platform/ZAVURLSession.h"
#include "tests/support/ZAVFakeHTTPServer.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool mirror = argc > 1 && QByteArray(argv[1]) == "-mirror";
    if (mirror) {
        --argc;
        ++argv;
    }
    const qint64 mib = 1024 * 1024;
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) * mib;
    const qint64 drop =
        mirror ? size / 2 : (argc > 2 ? QByteArray(argv[2]).toLongLong() : 100) * mib;
    if (size <= 0 || drop <= 0) {
        std::fprintf(stderr, "usage: %s [SIZE_MIB [DROP_MIB]] | -mirror [SIZE_MIB]\n", argv[0]);
        return 2;
    }

    // Random bytes, laid out so that every offset has its own: a byte served from the wrong
    // place changes the digest.
    QByteArray block(mib, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()),
                                          block.size() / 4);
    auto generate = [block, mib](qint64 offset, qint64 length) {
        QByteArray data(length, Qt::Uninitialized);
        for (qint64 i = 0; i < length; ++i) {
            const qint64 at = offset + i;
            data[i] = char(block[(at + at / mib) % mib] ^ char(at / mib));
        }
        return data;
    };
    QCryptographicHash sha(QCryptographicHash::Sha256);
    for (qint64 offset = 0; offset < size; offset += mib)
        sha.addData(generate(offset, qMin(mib, size - offset)));

    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route;
    route.generator = generate;
    route.bodySize = size;
    route.etag = "bench";
    route.closeAfterBytes = drop;
    route.chunkSize = 256 * 1024;
    server.setRoute("/big.bin", route);
    // The second place has the whole file and stays up.
    ZAVFakeHTTPServer second;
    route.closeAfterBytes = -1;
    second.setRoute("/big.bin", route);

    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(server.url("/big.bin").toString());
    feed->setPkgSize(size);
    feed->setPkgSha256(QString::fromLatin1(sha.result().toHex()));
    if (mirror)
        feed->setPkgMirrors({second.url("/big.bin")});
    ZAVInstallationOptions options;
    if (!mirror)
        options.retryPolicy.delays.assign(size_t(size / drop + 1), std::chrono::seconds(1));
    auto manager = ZAVInstallationManager::initWithFeedData(feed, options);
    int retries = 0;
    manager->setTransferBlock(
        [&retries](const ZAVTransferState &state) { retries += state.retryAttempt > 0 ? 1 : 0; });
    int status = 1;
    QElapsedTimer clock;
    clock.start();
    manager->startDownloadWithCompletion(
        [&](const std::optional<QString> &path, const ZAVOptionalError &error) {
            if (error)
                std::fprintf(stderr, "download failed: %s\n",
                             qPrintable(error->localizedDescription));
            else
                QFile::remove(*path);
            status = error ? 1 : 0;
            QCoreApplication::quit();
        },
        [](double) {});
    app.exec();
    ZAVURLSession::shutdownAll();

    const qint64 sent = server.bodyBytesSent() + second.bodyBytesSent();
    std::printf("size=%lld sent=%lld sent_ratio=%.3f retries=%d seconds=%.1f\n",
                static_cast<long long>(size), static_cast<long long>(sent),
                double(sent) / double(size), retries, double(clock.elapsed()) / 1000.0);
    return status;
}
