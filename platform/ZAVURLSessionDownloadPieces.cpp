// The pieces of a download: whether what the server sends continues the file or starts it
// again, whether it announces more than expected, and whether the whole is what was expected.

#include "ZAVURLSessionDownloadTask.h"

#include "ZAVFormat.h"
#include "ZAVLog.h"
#include "ZAVTemporaryDirectory.h"

#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

#include <cerrno>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// What a resumed request names in If-Range: a strong ETag, else Last-Modified; empty when the
// server gives neither (a weak ETag cannot validate a range).
QByteArray validatorOf(const QNetworkReply &reply)
{
    const QByteArray etag = reply.rawHeader("ETag").trimmed();
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return reply.rawHeader("Last-Modified").trimmed();
}

// The first byte and the full length (-1 for "*") of "Content-Range: bytes A-B/L".
bool contentRange(const QNetworkReply &reply, qint64 *first, qint64 *total)
{
    static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"));
    const QRegularExpressionMatch match =
        form.match(QString::fromLatin1(reply.rawHeader("Content-Range").trimmed()));
    if (!match.hasMatch())
        return false;
    *first = match.captured(1).toLongLong();
    *total = match.captured(3) == u"*" ? -1 : match.captured(3).toLongLong();
    return true;
}

} // namespace

// Why `needed` bytes do not fit in `directory` or, when it lies on another file system, in
// the home directory; nothing when they fit or the space cannot be told.
ZAVOptionalError ZAVURLSessionDownloadTask::freeSpaceError(qint64 needed, const QString &directory)
{
    QByteArray temporary = QFile::encodeName(directory);
    while (temporary.size() > 1 && temporary.endsWith('/'))
        temporary.chop(1);
    // The user's own folder in the temporary directory is ours; the user knows its parent.
    const QByteArray shown = temporary.left(qMax<qsizetype>(temporary.lastIndexOf('/'), 1));
    QList<QPair<QByteArray, QByteArray>> places{{temporary, shown}};
    const QByteArray home = qgetenv("HOME");
    struct stat a {
    }, b{};
    if (home.startsWith('/') && ::stat(temporary.constData(), &a) == 0 &&
        ::stat(home.constData(), &b) == 0 && a.st_dev != b.st_dev)
        places.append({home, home});
    for (const auto &[path, name] : places) {
        struct statvfs fs {};
        if (::statvfs(path.constData(), &fs) != 0)
            continue;
        const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
        if (free >= needed)
            continue;
        return ZAVURLErrorMake(
            ZAVURLErrorNotEnoughSpace,
            ZAVTranslate("ZAVURLSession", "There is not enough free space: %1 is needed and "
                                          "%2 is free in %3.")
                .arg(ZAVByteCountText(needed), ZAVByteCountText(free), QFile::decodeName(name)));
    }
    return std::nullopt;
}

void ZAVURLSessionDownloadTask::setExpectedContent(qint64 size, const QByteArray &sha256)
{
    m_expectedSize = size;
    m_expectedSha256 = sha256.toLower();
    resetDigest();
}

void ZAVURLSessionDownloadTask::resetDigest()
{
    m_digest.reset();
    // OpenSSL picks the CPU's SHA instructions: hashing keeps ahead of the transfer.
    if (!m_expectedSha256.isEmpty())
        m_digest.emplace();
}

bool ZAVURLSessionDownloadTask::acceptPiece(QNetworkReply *reply)
{
    m_pieceChecked = true;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant lengthHeader = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 length = lengthHeader.isValid() ? lengthHeader.toLongLong() : -1;
    const QByteArray validator = validatorOf(*reply);
    if (m_pieceFrom > 0) {
        qint64 first = -1, total = -1;
        if (status == 206 && contentRange(*reply, &first, &total) && first == m_pieceFrom &&
            (validator == m_validator || pinnedAcrossSources())) {
            m_validator = validator;
            if (total >= 0)
                m_totalExpected = total;
            else if (length >= 0)
                m_totalExpected = m_pieceFrom + length;
            return !announcesTooMuch(reply);
        }
        // The file changed, or the server sent the whole of it, or another part: what is in the
        // file cannot be continued. A whole body replaces it; anything else is asked for again.
        ZAVLogFormat(u"The server did not continue the file at byte %@ (HTTP %@); starting "
                     u"again from the first byte",
                     QString::number(m_pieceFrom), QString::number(status));
        if (!restartFromZero())
            return false;
        if (status != 200) {
            m_abort = Abort::Restart;
            reply->abort();
            return false;
        }
    }
    m_validator = validator;
    m_totalExpected = length;
    if (announcesTooMuch(reply))
        return false;
    if (m_expectedSize < 0 && m_totalExpected >= 0) {
        m_spaceError = freeSpaceError(m_totalExpected, ZAVTemporaryDirectory());
        if (m_spaceError) {
            m_abort = Abort::NoSpace;
            reply->abort();
            return false;
        }
    }
    return true;
}

bool ZAVURLSessionDownloadTask::announcesTooMuch(QNetworkReply *reply)
{
    if (m_expectedSize < 0 || m_totalExpected <= m_expectedSize)
        return false;
    ZAVLogFormat(u"The server announces %@ bytes for a file of %@",
                 QString::number(m_totalExpected), QString::number(m_expectedSize));
    m_abort = Abort::TooLong;
    reply->abort();
    return true;
}

bool ZAVURLSessionDownloadTask::restartFromZero()
{
    if (::ftruncate(m_file.get(), 0) != 0) {
        m_fileErrno = errno;
        m_abort = Abort::WriteFailed;
        if (m_reply)
            m_reply->abort();
        return false;
    }
    m_totalWritten = 0;
    m_pieceFrom = 0;
    m_reportedWritten = -1;
    m_totalExpected = -1;
    resetDigest(); // the running SHA-256 starts over with the file
    return true;
}

std::optional<QString> ZAVURLSessionDownloadTask::contentMismatch()
{
    if (m_expectedSize >= 0 && m_totalWritten != m_expectedSize)
        return QStringLiteral("The file has %1 bytes instead of %2")
            .arg(m_totalWritten)
            .arg(m_expectedSize);
    if (m_expectedSha256.isEmpty())
        return std::nullopt;
    const QByteArray actual =
        m_digest ? QByteArray::fromStdString(m_digest->hexDigest()) : QByteArray();
    m_digest.reset();
    if (actual.isEmpty())
        return QStringLiteral("The file's SHA-256 could not be computed");
    if (actual != m_expectedSha256)
        return QStringLiteral("The file's SHA-256 is %1 instead of %2")
            .arg(QString::fromLatin1(actual), QString::fromLatin1(m_expectedSha256));
    return std::nullopt;
}
