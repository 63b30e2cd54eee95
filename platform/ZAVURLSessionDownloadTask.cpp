#include "ZAVURLSessionDownloadTask.h"

#include "ZAVFormat.h"
#include "ZAVLog.h"
#include "ZAVTemporaryDirectory.h"
#include "ZAVTerminationCleanup.h"
#include "base/ZAVFiles.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often, at most, the delegate hears about progress (besides the report of the last byte).
constexpr qint64 kProgressIntervalMs = 100;

bool isSuccessStatus(int status)
{
    return status >= 200 && status <= 299;
}

ZAVError cannotWriteError(int error)
{
    return ZAVURLErrorMake(
        ZAVURLErrorCannotWriteToFile,
        ZAVTranslate("ZAVURLSession", "The downloaded file could not be written (%1).")
            .arg(qt_error_string(error)));
}

ZAVError damagedError()
{
    return ZAVURLErrorMake(ZAVURLErrorDownloadDamaged,
                           ZAVTranslate("ZAVURLSession",
                                        "The downloaded file is not the one expected (its size "
                                        "or SHA-256 differs)."));
}

ZAVError lostError()
{
    return ZAVURLErrorMake(ZAVURLErrorNetworkConnectionLost,
                           ZAVTranslate("ZAVURLSession", "The network connection was lost."));
}

ZAVError cancelledError()
{
    return ZAVURLErrorMake(ZAVURLErrorCancelled,
                           ZAVTranslate("ZAVURLSession", "The download was cancelled."));
}

} // namespace

ZAVURLSessionDownloadTask::ZAVURLSessionDownloadTask(std::shared_ptr<ZAVURLSession> session,
                                                     QUrl url)
    : ZAVURLSessionTask(std::move(session), std::move(url))
{
    setRetryPolicy(ZAVRetryPolicy::packageDownload());
}

ZAVURLSessionDownloadTask::~ZAVURLSessionDownloadTask()
{
    // A task always ends through complete(); this only guards against a session torn down
    // with the transfer still open.
    discardFile();
}

void ZAVURLSessionDownloadTask::start()
{
    if (m_cancelled) {
        complete(ZAVURLErrorMake(ZAVURLErrorCancelled,
                                 ZAVTranslate("ZAVURLSession", "The download was cancelled.")));
        return;
    }
    if (!m_url.isValid() || m_url.isRelative()) {
        complete(ZAVURLErrorMake(ZAVURLErrorBadURL,
                                 ZAVTranslate("ZAVURLSession", "The address is not a valid URL.")));
        return;
    }

    const QByteArray directory = ZAVTemporaryDirectory();
    if (directory.isEmpty()) {
        complete(
            ZAVURLErrorMake(ZAVURLErrorCannotCreateFile,
                            ZAVTranslate("ZAVURLSession", "The temporary folder cannot be used.")));
        return;
    }
    // A new random name, opened with O_CREAT|O_EXCL|O_NOFOLLOW and mode 0600: never through a
    // link planted at the name, never a file somebody made before.
    QByteArray name;
    for (int attempt = 0; !m_file.valid() && attempt < 8; ++attempt) {
        name =
            directory + QByteArray::fromStdString(ZAVFiles::randomName(ZAVPartialDownloadPrefix));
        m_file.reset(
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!m_file.valid() && errno != EEXIST)
            break;
    }
    if (!m_file.valid()) {
        m_fileErrno = errno;
        complete(ZAVURLErrorMake(
            ZAVURLErrorCannotCreateFile,
            ZAVTranslate("ZAVURLSession", "The download file could not be created (%1).")
                .arg(qt_error_string(m_fileErrno))));
        return;
    }
    m_path = name;
    m_cleanupSlot = ZAVRemoveOnTermination(m_path);
    startRun();
    if (m_expectedSize >= 0) {
        if (const ZAVOptionalError error = freeSpaceError(m_expectedSize, directory)) {
            complete(error); // before the first byte is asked for
            return;
        }
    }
    sendRequest();
}

void ZAVURLSessionDownloadTask::sendRequest()
{
    QNetworkRequest request = this->request(m_url);
    // The file gets the bytes as the server stores them, and the announced length counts them.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    if (m_totalWritten > 0 && m_validator.isEmpty() && !pinnedAcrossSources()) {
        ZAVLog(QStringLiteral("The server names no version of the file; asking for all of it "
                              "again"));
        if (!restartFromZero()) {
            complete(cannotWriteError(m_fileErrno));
            return;
        }
    }
    m_abort = Abort::None;
    m_pieceFrom = m_totalWritten;
    m_pieceChecked = false;
    if (m_pieceFrom > 0) {
        // The rest, and only if it is still the same file; otherwise the whole of it (200).
        request.setRawHeader(QByteArrayLiteral("Range"),
                             "bytes=" + QByteArray::number(m_pieceFrom) + '-');
        if (!m_validator.isEmpty())
            request.setRawHeader(QByteArrayLiteral("If-Range"), m_validator);
    }
    if (m_sources.size() > 1)
        ZAVLogFormat(u"Download: asking %@ for bytes %@ on", m_url.toString(),
                     QString::number(m_pieceFrom));
    QNetworkReply *reply = network()->get(request);
    reply->setReadBufferSize(kReadBufferSize);
    m_reply = reply;
    watchRate(reply, [this, reply] {
        if (m_reply != reply || m_abort != Abort::None)
            return;
        ZAVLogFormat(u"The transfer stays under %@ bytes a second; ending it as a lost connection",
                     QString::number(m_retry.policy().slowBytesPerSecond));
        m_abort = Abort::TooSlow;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this] {
        if (m_reply)
            readAvailable(m_reply);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this] { replyFinished(); });
}

void ZAVURLSessionDownloadTask::abort()
{
    m_abort = Abort::Cancelled;
    if (m_reply) {
        m_reply->abort();
    } else if (m_waitingToRetry) {
        m_waitingToRetry = false;
        complete(cancelledError());
    }
}

void ZAVURLSessionDownloadTask::deadlinePassed()
{
    if (m_reply) {
        if (m_abort == Abort::None || m_abort == Abort::TooSlow)
            m_abort = Abort::Deadline;
        m_reply->abort();
    } else if (m_waitingToRetry) {
        m_waitingToRetry = false;
        complete(ZAVURLErrorMake(ZAVURLErrorTimedOut,
                                 ZAVTranslate("ZAVURLSession", "The request timed out.")));
    }
}

void ZAVURLSessionDownloadTask::scheduleRetry(const ZAVError &error, const ZAVRetryRun::Retry &next)
{
    const ZAVDownloadRetry retry{next.attempt, next.attempts, next.delay, error};
    m_waitingToRetry = true;
    if (auto delegate = this->delegate())
        delegate->URLSession(*m_session, *this, retry);
    after(retry.delay, [this] {
        if (!m_waitingToRetry)
            return;
        m_waitingToRetry = false;
        sendRequest();
    });
}

void ZAVURLSessionDownloadTask::setMirrors(const QList<QUrl> &mirrors)
{
    m_sources = QList<QUrl>{m_url} + mirrors;
    m_source = 0;
}

bool ZAVURLSessionDownloadTask::pinnedAcrossSources() const
{
    return m_sources.size() > 1 && m_expectedSize >= 0 && !m_expectedSha256.isEmpty();
}

void ZAVURLSessionDownloadTask::sendRequestSoon(std::chrono::milliseconds delay)
{
    m_waitingToRetry = true;
    after(delay, [this] {
        if (!m_waitingToRetry)
            return;
        m_waitingToRetry = false;
        sendRequest();
    });
}

bool ZAVURLSessionDownloadTask::tryAnotherSource(const ZAVError &error, QNetworkReply *reply,
                                                 bool wrongBytes)
{
    if (m_sources.size() < 2 || m_cancelled || m_abort == Abort::Cancelled)
        return false;
    // "Busy, come back in N seconds": once per place, when the wait is short.
    if ((m_status == 429 || m_status == 503) && !m_waitedForSource && !wrongBytes) {
        bool isNumber = false;
        const int seconds = reply->rawHeader("Retry-After").trimmed().toInt(&isNumber);
        if (isNumber && seconds >= 0 && seconds <= 30) {
            m_waitedForSource = true;
            ZAVLogFormat(u"Download: %@ answered HTTP %@; asking again in %@ s", m_url.toString(),
                         QString::number(m_status), QString::number(seconds));
            sendRequestSoon(std::chrono::seconds(seconds));
            return true;
        }
    }
    if (m_source + 1 >= m_sources.size())
        return false;
    const QUrl failed = m_url;
    m_url = m_sources.at(++m_source);
    m_waitedForSource = false;
    m_status = 0;
    m_validator.clear(); // another server's validator cannot name this one's file
    if (wrongBytes && !restartFromZero()) {
        complete(cannotWriteError(m_fileErrno));
        return true;
    }
    ZAVLogFormat(u"Download: %@ failed (%@); going on from %@ at byte %@", failed.toString(),
                 error.localizedDescription, m_url.toString(), QString::number(m_totalWritten));
    reportProgress(true);
    sendRequestSoon(std::chrono::milliseconds(0));
    return true;
}

void ZAVURLSessionDownloadTask::readAvailable(QNetworkReply *reply)
{
    if (m_abort != Abort::None)
        return;
    auto keep = shared_from_this(); // abort() below may end the task

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && !isSuccessStatus(status.toInt())) {
        m_status = status.toInt();
        if (m_status >= 300 && m_status <= 399) {
            // The body of a redirect; whether it is followed or is the answer, it is not kept.
            reply->skip(reply->bytesAvailable());
            return;
        }
        m_abort = Abort::HTTPStatus;
        reply->abort();
        return;
    }

    if (!m_pieceChecked && status.isValid() && !acceptPiece(reply))
        return;

    // Asking for exactly what is buffered hands over the network layer's own chunk without a
    // copy when it holds one chunk, which is the common case.
    qint64 step = 0;
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(reply->bytesAvailable());
        if (chunk.isEmpty())
            break;
        if (m_expectedSize >= 0 && m_totalWritten + chunk.size() > m_expectedSize) {
            // Not one byte past the expected size reaches the file: an endless body ends here.
            ZAVLogFormat(u"The file grows past the %@ bytes expected",
                         QString::number(m_expectedSize));
            m_abort = Abort::TooLong;
            reply->abort();
            return;
        }
        if (m_digest)
            m_digest->update(chunk.constData(), size_t(chunk.size()));
        if (!writeAll(chunk.constData(), chunk.size())) {
            m_abort = Abort::WriteFailed;
            reply->abort();
            return;
        }
        m_totalWritten += chunk.size();
        step += chunk.size();
    }
    // The retries are the run's: new ground does not give them back, so a connection that
    // breaks every few bytes cannot keep the download going for ever.
    m_furthest = std::max(m_furthest, m_totalWritten);
    if (step > 0)
        reportProgress(false);
}

bool ZAVURLSessionDownloadTask::writeAll(const char *data, qint64 length)
{
    const ZAVStatus written =
        ZAVFiles::writeAll(m_file.get(), std::string_view(data, size_t(length)),
                           off_t(m_totalWritten), m_path.toStdString());
    m_fileErrno = written.errorNumber();
    return written.ok();
}

void ZAVURLSessionDownloadTask::reportProgress(bool force)
{
    const qint64 step = m_totalWritten - std::max<qint64>(m_reportedWritten, 0);
    if (step <= 0)
        return;
    const bool last = m_totalExpected >= 0 && m_totalWritten >= m_totalExpected;
    if (!force && !last && m_sinceReport.isValid() && m_sinceReport.elapsed() < kProgressIntervalMs)
        return;
    m_reportedWritten = m_totalWritten;
    m_sinceReport.start();
    if (auto delegate = this->delegate())
        delegate->URLSession(*m_session, *this, step, m_totalWritten, m_totalExpected);
}

void ZAVURLSessionDownloadTask::replyFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    auto keep = shared_from_this();
    m_reply = nullptr; // from here on, an abort cannot bring us back
    reply->deleteLater();
    readAvailable(reply); // whatever is still buffered

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        m_status = status.toInt();

    if (m_abort == Abort::Restart && !m_cancelled) {
        m_abort = Abort::None;
        sendRequest();
        return;
    }

    if (m_sources.size() > 1 && m_totalWritten > m_pieceFrom)
        ZAVLogFormat(u"Download: %@ served bytes %@ to %@", m_url.toString(),
                     QString::number(m_pieceFrom), QString::number(m_totalWritten - 1));

    ZAVOptionalError error;
    bool lost = false;       // the connection failed: worth asking again for the rest
    bool wrongBytes = false; // what arrived is not the expected file
    if (m_abort == Abort::Cancelled || m_cancelled) {
        error = cancelledError();
    } else if (m_abort == Abort::Deadline) {
        error = ZAVURLErrorMake(ZAVURLErrorTimedOut,
                                ZAVTranslate("ZAVURLSession", "The request timed out."));
    } else if (m_abort == Abort::TooSlow) {
        error = lostError();
        lost = true;
    } else if (m_abort == Abort::NoSpace) {
        error = m_spaceError;
    } else if (m_abort == Abort::WriteFailed) {
        error = cannotWriteError(m_fileErrno);
    } else if (m_abort == Abort::TooLong) {
        error = damagedError();
        wrongBytes = true;
    } else if (ZAVURLReplyFailedRedirect(*reply)) {
        error = ZAVURLErrorFromReply(*reply, false);
    } else if (m_abort == Abort::HTTPStatus || (status.isValid() && !isSuccessStatus(m_status))) {
        error = ZAVURLErrorMake(ZAVURLErrorBadServerResponse,
                                ZAVTranslate("ZAVURLSession", "The server answered with HTTP %1.")
                                    .arg(QString::number(m_status)));
    } else if (reply->error() != QNetworkReply::NoError) {
        // Qt ends a transfer that received nothing for the time-out as "cancelled".
        error =
            ZAVURLErrorFromReply(*reply, reply->error() == QNetworkReply::OperationCanceledError);
        lost = true;
    } else if (m_totalExpected >= 0 && m_totalWritten < m_totalExpected) {
        error = lostError();
        lost = true;
    } else if (const std::optional<QString> mismatch = contentMismatch()) {
        ZAVLog(*mismatch);
        error = damagedError();
        wrongBytes = true;
    } else if (::close(m_file.release()) != 0) {
        m_fileErrno = errno;
        error = cannotWriteError(m_fileErrno);
    }
    const bool answered =
        m_abort == Abort::HTTPStatus || (status.isValid() && !isSuccessStatus(m_status));
    if (error && (lost || wrongBytes || answered) && tryAnotherSource(*error, reply, wrongBytes))
        return;
    if (error && lost && m_furthest > 0) {
        if (const auto retry = m_retry.next(*error)) {
            reportProgress(true);
            scheduleRetry(*error, *retry);
            return;
        }
    }
    if (error) {
        complete(error);
        return;
    }

    reportProgress(true);
    if (auto delegate = this->delegate())
        delegate->URLSession(*m_session, *this, m_path);
    complete(std::nullopt); // deletes the file unless the delegate has moved it
}

void ZAVURLSessionDownloadTask::complete(const ZAVOptionalError &error)
{
    discardFile();
    if (auto delegate = this->delegate())
        delegate->URLSession(*m_session, *this, error);
    finish();
}

void ZAVURLSessionDownloadTask::discardFile()
{
    m_file.reset();
    if (!m_path.isEmpty()) {
        ::unlink(m_path.constData());
        m_path.clear();
    }
    ZAVKeepOnTermination(std::exchange(m_cleanupSlot, -1));
}
