#pragma once

#include "ZAVURLSession.h"
#include "base/ZAVFd.h"
#include "base/ZAVSha256.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// A GET whose body is streamed into a temporary file with a random name, made with
// O_CREAT|O_EXCL|O_NOFOLLOW in the user's temporary directory (ZAVTemporaryDirectory). Made by
// ZAVURLSession::downloadTaskWithURL; everything it does happens on the session's thread, and it
// tells the session's delegate, in this order:
//   1. progress, any number of times: bytes in this step, bytes in the file so far, and the
//      announced length or -1. Reports come at most about ten times a second, plus one as soon
//      as the last byte is written, so the last report always carries the final count;
//   2. on success only, the finished file: its path, valid only during the call. The file is
//      deleted when the call returns unless the delegate has moved it away;
//   3. completion: no error on success, otherwise the reason.
// Between progress reports, a retry notice may come (see "Lost connections" below).
// SIGTERM or SIGINT ending the process while the file exists removes it.
//
// Lost connections: when the transfer fails (connection lost or reset, time-out, a body
// shorter than announced, a rate under the policy's floor) after bytes have arrived, the task
// waits its retry policy's next delay (ZAVRetryPolicy.h), tells the delegate, and asks for the
// rest with
// "Range: bytes=N-" and "If-Range:" (a strong ETag, else Last-Modified). A 206 whose
// Content-Range starts at N, with the same validator, continues the file; a 200 replaces it
// from the first byte; another range or validator is asked for again from the first byte.
// Without a validator the rest cannot be trusted to belong to the same file, so the whole body
// is asked for again. The size limit and the running SHA-256 follow the file across pieces
// and start over with it. The retries are counted over the whole download: a connection that
// breaks every few bytes ends it once the policy's retries are spent, however far it got. An
// HTTP error status is never retried. Past the policy's deadline (none by default) the
// download ends with ZAVURLErrorTimedOut.
//
// Free space: when the size is known before the first byte (the expected size, else the
// announced length) and the temporary directory's file system, or the home's when it is
// another, has less room, the download fails before anything is written
// (ZAVURLErrorNotEnoughSpace): "There is not enough free space: 1.2 GB is needed and 300 MB
// is free in /tmp."
//
// Memory stays bounded whatever the size of the body: the network layer holds at most
// kReadBufferSize bytes that have not yet been written to the file.
//
// Errors speak of the transfer and the file; the caller words them for its user, with the
// status and the file error number below.
//
// A download fails, and leaves no file behind, when
//   - the URL is not absolute, or the temporary directory cannot be used (no request is made);
//   - the transfer fails, times out or is cancelled;
//   - the server answers with a status outside 200-299 (after redirects), which the error
//     names; the body of such an answer is not kept;
//   - the body ends before the announced length;
//   - the file cannot be written (disk full, file size limit);
//   - the body is not the one expected (setExpectedContent): longer than the expected size (the
//     transfer stops at the first byte too many, which is never written), shorter, or of
//     another SHA-256. The SHA-256 is computed as the bytes arrive, so no second pass reads the
//     file. The error is ZAVURLErrorDownloadDamaged; the log says what differed.
//
// The body is asked for without content coding, so the bytes in the file are the bytes the
// server stores and the announced length counts them.
class ZAVURLSessionDownloadTask final : public ZAVURLSessionTask {
public:
    // What the network layer may hold before the task has written it out. Larger buffers cost
    // memory and, measured against a loopback server, were slower rather than faster.
    static constexpr qint64 kReadBufferSize = 256 * 1024;

    ZAVURLSessionDownloadTask(std::shared_ptr<ZAVURLSession> session, QUrl url);
    ~ZAVURLSessionDownloadTask() override;

    // Before resume(), on the thread that made the task: the body must be exactly `size` bytes
    // (-1: any length) and, unless `sha256` is empty, have that SHA-256 (64 hex digits).
    void setExpectedContent(qint64 size, const QByteArray &sha256);

    // Before resume(): other places that hold the same file, tried in order after the URL.
    // When one cannot be reached, answers with an error status, stalls, loses the connection
    // or sends bytes that are not the expected ones, the download goes on from the next. With
    // the content pinned (a size and a SHA-256), the bytes already in the file are kept and the
    // next place is asked for the rest with a plain Range (its validator cannot match another
    // server's; the running SHA-256 checks every piece); a file whose bytes turned out wrong
    // starts again from the first byte. A 429 or 503 with a Retry-After of at most 30 s is
    // asked once more after that wait before moving on. Past the last place, the retry policy
    // applies as without mirrors. The log says which place served which bytes.
    void setMirrors(const QList<QUrl> &mirrors);

    // Session thread, during the delegate's calls: the last HTTP status received (0: none),
    // and the errno of the failed create or write behind ZAVURLErrorCannotCreateFile or
    // ZAVURLErrorCannotWriteToFile (0: none).
    int statusCode() const { return m_status; }
    int fileErrorNumber() const { return m_fileErrno; }

private:
    void start() override;
    void abort() override;
    void deadlinePassed() override;
    // Writes out what `reply` holds; stops the transfer on an error status or a failed write.
    void readAvailable(QNetworkReply *reply);
    void replyFinished();
    bool writeAll(const char *data, qint64 length);
    // Tells the delegate about the bytes written since the last report, at most every
    // kProgressIntervalMs unless `force` is set or the last announced byte is in.
    void reportProgress(bool force);
    void complete(const ZAVOptionalError &error);
    void discardFile();
    // The reason the body is not the expected one, or nothing.
    std::optional<QString> contentMismatch();
    void resetDigest();
    // Asks for the body, or for the rest of it from m_totalWritten on.
    void sendRequest();
    // The headers of a response have come: decides whether its body continues the file,
    // replaces it, or must be asked for again; checks the size and the free space. False when
    // the response is being stopped.
    bool acceptPiece(QNetworkReply *reply);
    // Why `needed` bytes do not fit in `directory` or, when the home lies on another file
    // system, in the home directory; nothing when they fit or the space cannot be told.
    static ZAVOptionalError freeSpaceError(qint64 needed, const QString &directory);
    // Stops the transfer when the whole announced body is longer than the expected size.
    bool announcesTooMuch(QNetworkReply *reply);
    // Empties the file and the running SHA-256. False when the file cannot be emptied (the
    // transfer is then stopped).
    bool restartFromZero();
    // Tells the delegate and asks again after the wait.
    void scheduleRetry(const ZAVError &error, const ZAVRetryRun::Retry &retry);
    // Mirrors: true when the download goes on from the same place after a wait, or from the
    // next one, instead of failing with `error`.
    bool tryAnotherSource(const ZAVError &error, QNetworkReply *reply, bool wrongBytes);
    // The file is pinned and there is more than one place: validators are not compared.
    bool pinnedAcrossSources() const;
    void sendRequestSoon(std::chrono::milliseconds delay);

    enum class Abort {
        None,
        Cancelled,
        HTTPStatus,
        WriteFailed,
        TooLong,
        NoSpace,
        Restart,
        TooSlow,
        Deadline
    };

    QNetworkReply *m_reply = nullptr;
    ZAVFd m_file; // written at m_totalWritten (pwrite), so a restart needs no seek
    QByteArray m_path;
    int m_cleanupSlot = -1; // the file is removed if a signal ends the process
    qint64 m_totalWritten = 0;
    qint64 m_totalExpected = -1;
    qint64 m_reportedWritten = -1;
    QElapsedTimer m_sinceReport;
    Abort m_abort = Abort::None;
    int m_status = 0;
    int m_fileErrno = 0;
    qint64 m_expectedSize = -1;
    // Resuming: where the current response's body starts in the file, whether its headers have
    // been judged, the validator of the file being fetched, the furthest byte ever written,
    // and whether a retry is waiting.
    qint64 m_pieceFrom = 0;
    bool m_pieceChecked = false;
    QByteArray m_validator;
    qint64 m_furthest = 0;
    bool m_waitingToRetry = false;
    ZAVOptionalError m_spaceError;
    QList<QUrl> m_sources; // the URL, then the mirrors; m_url is the one in use
    qsizetype m_source = 0;
    bool m_waitedForSource = false;    // a Retry-After of the place in use was honoured
    QByteArray m_expectedSha256;       // lower-case hex; empty: not checked
    std::optional<ZAVSha256> m_digest; // while a SHA-256 is expected
};
