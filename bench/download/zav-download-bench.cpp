// Downloads one package the way the installer does: an installation manager for a feed record
// that names the URL, the real event loop, progress delivered to the main thread. Prints what
// the benchmark compares, then exits: 0 on success, 1 on a failed download, 2 on bad usage.
// With SHA256 and SIZE the record pins the package, as a signed feed does: the download is
// checked while it streams in.
//
//   zav-download-bench URL [SHA256 SIZE]
//   -> path=<installer file path> progress_deliveries=<n> last_percent=<p> peak_rss_kib=<k>

#include "feed/ZAVFeedData.h"
#include "install/ZAVInstallationManager.h"
#include "platform/ZAVURLSession.h"

#include <QCoreApplication>

#include <cstdio>

#include <sys/resource.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s URL [SHA256 SIZE]\n", argv[0]);
        return 2;
    }

    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(QString::fromLocal8Bit(argv[1]));
    if (argc == 4) {
        feed->setPkgSha256(QString::fromLatin1(argv[2]));
        feed->setPkgSize(QByteArray(argv[3]).toLongLong());
    }
    auto manager = ZAVInstallationManager::initWithFeedData(feed);

    long deliveries = 0;
    double lastPercent = 0.0;
    int status = 1;
    QString installerPath;
    manager->startDownloadWithCompletion(
        [&](const std::optional<QString> &path, const ZAVOptionalError &error) {
            if (error)
                std::fprintf(stderr, "download failed: %s\n",
                             qPrintable(error->localizedDescription));
            status = error ? 1 : 0;
            installerPath = path.value_or(QString());
            QCoreApplication::quit();
        },
        [&](double percent) {
            deliveries += 1;
            lastPercent = percent;
        });
    app.exec();
    ZAVURLSession::shutdownAll();

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("path=%s progress_deliveries=%ld last_percent=%.2f peak_rss_kib=%ld\n",
                qPrintable(installerPath), deliveries, lastPercent, long(usage.ru_maxrss));
    return status;
}
