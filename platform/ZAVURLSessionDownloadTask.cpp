#include "ZAVURLSessionDownloadTask.h"

#include "ZAVLog.h"
#include "ZAVTemporaryDirectory.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <openssl/evp.h>
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
    return ZAVURLErrorMake(ZAVURLErrorCannotWriteToFile,
                           QStringLiteral("The package could not be saved (%1).")
                               .arg(qt_error_string(error)));
}

ZAVError damagedError()
{
    return ZAVURLErrorMake(
        ZAVURLErrorDownloadDamaged,
        QStringLiteral("The downloaded package is damaged or was altered. Nothing was installed."));
}

} // namespace

void ZAVURLSessionDownloadTask::DigestFree::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

void ZAVURLSessionDownloadTask::setExpectedContent(qint64 size, const QByteArray &sha256)
{
    m_expectedSize = size;
    m_expectedSha256 = sha256.toLower();
    m_digest.reset();
    if (!m_expectedSha256.isEmpty()) {
        // OpenSSL picks the CPU's SHA instructions: hashing keeps ahead of the transfer.
        m_digest.reset(EVP_MD_CTX_new());
        if (m_digest && EVP_DigestInit_ex(m_digest.get(), EVP_sha256(), nullptr) != 1)
            m_digest.reset();
    }
}

ZAVURLSessionDownloadTask::ZAVURLSessionDownloadTask(std::shared_ptr<ZAVURLSession> session,
                                                     QUrl url)
    : ZAVURLSessionTask(std::move(session), std::move(url))
{
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
        complete(
            ZAVURLErrorMake(ZAVURLErrorCancelled, QStringLiteral("The download was cancelled.")));
        return;
    }
    if (!m_url.isValid() || m_url.isRelative()) {
        complete(
            ZAVURLErrorMake(ZAVURLErrorBadURL, QStringLiteral("The address is not a valid URL.")));
        return;
    }

    const QString directory = ZAVTemporaryDirectory();
    if (directory.isEmpty()) {
        complete(ZAVURLErrorMake(
            ZAVURLErrorCannotCreateFile,
            QStringLiteral(
                "The package could not be saved: the temporary folder cannot be used.")));
        return;
    }
    // mkostemp opens with O_CREAT|O_EXCL and mode 0600: never through a link planted at the name.
    QByteArray name = QFile::encodeName(directory) + "download-XXXXXX";
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        complete(ZAVURLErrorMake(ZAVURLErrorCannotCreateFile,
                                 QStringLiteral("The package could not be saved (%1).")
                                     .arg(qt_error_string(error))));
        return;
    }
    m_path = QFile::decodeName(name);

    QNetworkRequest request = m_session->requestWithURL(m_url);
    // The file gets the bytes as the server stores them, and the announced length counts them.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    QNetworkReply *reply = m_session->networkAccessManager()->get(request);
    reply->setReadBufferSize(kReadBufferSize);
    m_reply = reply;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this] {
        if (m_reply)
            readAvailable(m_reply);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this] { replyFinished(); });
}

void ZAVURLSessionDownloadTask::abort()
{
    m_abort = Abort::Cancelled;
    if (m_reply)
        m_reply->abort();
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

    if (m_totalWritten == 0 && m_totalExpected < 0) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            m_totalExpected = length.toLongLong();
        if (m_expectedSize >= 0 && m_totalExpected > m_expectedSize) {
            ZAVLogFormat(u"The server announces %@ bytes for a package of %@",
                         QString::number(m_totalExpected), QString::number(m_expectedSize));
            m_abort = Abort::TooLong;
            reply->abort();
            return;
        }
    }

    // Asking for exactly what is buffered hands over the network layer's own chunk without a
    // copy when it holds one chunk, which is the common case.
    qint64 step = 0;
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(reply->bytesAvailable());
        if (chunk.isEmpty())
            break;
        if (m_expectedSize >= 0 && m_totalWritten + chunk.size() > m_expectedSize) {
            // Not one byte past the expected size reaches the file: an endless body ends here.
            ZAVLogFormat(u"The package grows past the %@ bytes expected",
                         QString::number(m_expectedSize));
            m_abort = Abort::TooLong;
            reply->abort();
            return;
        }
        if (m_digest && EVP_DigestUpdate(m_digest.get(), chunk.constData(), chunk.size()) != 1)
            m_digest.reset(); // reported as a mismatch at the end
        if (!writeAll(chunk.constData(), chunk.size())) {
            m_abort = Abort::WriteFailed;
            reply->abort();
            return;
        }
        m_totalWritten += chunk.size();
        step += chunk.size();
    }
    if (step > 0)
        reportProgress(false);
}

bool ZAVURLSessionDownloadTask::writeAll(const char *data, qint64 length)
{
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_writeErrno = errno;
            return false;
        }
        if (n == 0) {
            m_writeErrno = ENOSPC;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
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
    if (auto delegate = m_session->delegate())
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

    ZAVOptionalError error;
    if (m_abort == Abort::Cancelled || m_cancelled) {
        error =
            ZAVURLErrorMake(ZAVURLErrorCancelled, QStringLiteral("The download was cancelled."));
    } else if (m_abort == Abort::WriteFailed) {
        error = cannotWriteError(m_writeErrno);
    } else if (m_abort == Abort::TooLong) {
        error = damagedError();
    } else if (m_abort == Abort::HTTPStatus || (status.isValid() && !isSuccessStatus(m_status))) {
        error = ZAVURLErrorMake(ZAVURLErrorBadServerResponse,
                                QStringLiteral("The package could not be downloaded (HTTP %1).")
                                    .arg(m_status));
    } else if (reply->error() != QNetworkReply::NoError) {
        // Qt ends a transfer that received nothing for the time-out as "cancelled".
        error = ZAVURLErrorFromReply(*reply,
                                     reply->error() == QNetworkReply::OperationCanceledError);
    } else if (m_totalExpected >= 0 && m_totalWritten < m_totalExpected) {
        error = ZAVURLErrorMake(ZAVURLErrorNetworkConnectionLost,
                                QStringLiteral("The network connection was lost."));
    } else if (const std::optional<QString> mismatch = contentMismatch()) {
        ZAVLog(*mismatch);
        error = damagedError();
    } else if (::close(std::exchange(m_fd, -1)) != 0) {
        error = cannotWriteError(errno);
    }
    if (error) {
        complete(error);
        return;
    }

    reportProgress(true);
    if (auto delegate = m_session->delegate())
        delegate->URLSession(*m_session, *this, m_path);
    complete(std::nullopt); // deletes the file unless the delegate has moved it
}

std::optional<QString> ZAVURLSessionDownloadTask::contentMismatch()
{
    if (m_expectedSize >= 0 && m_totalWritten != m_expectedSize)
        return QStringLiteral("The package has %1 bytes instead of %2")
            .arg(m_totalWritten)
            .arg(m_expectedSize);
    if (m_expectedSha256.isEmpty())
        return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_digest || EVP_DigestFinal_ex(m_digest.get(), digest, &length) != 1)
        return QStringLiteral("The package's SHA-256 could not be computed");
    m_digest.reset();
    const QByteArray actual =
        QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(length)).toHex();
    if (actual != m_expectedSha256)
        return QStringLiteral("The package's SHA-256 is %1 instead of %2")
            .arg(QString::fromLatin1(actual), QString::fromLatin1(m_expectedSha256));
    return std::nullopt;
}

void ZAVURLSessionDownloadTask::complete(const ZAVOptionalError &error)
{
    discardFile();
    if (auto delegate = m_session->delegate())
        delegate->URLSession(*m_session, *this, error);
    finish();
}

void ZAVURLSessionDownloadTask::discardFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_path.isEmpty()) {
        ::unlink(QFile::encodeName(m_path).constData());
        m_path.clear();
    }
}
